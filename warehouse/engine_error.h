#pragma once

#include <exception>
#include <string>

namespace varnel {

//! The description of an error met while working on a table. An error of the
//! engine gets a second line naming the table, which the driver's own message does
//! not; the tool's own messages name their table already and stay as they are.
std::string DescribeTableError(const std::exception& error, const std::string& table);

//! The description followed by the line naming the table; the description alone when
//! there is no table.
std::string WithTableLine(const std::string& description, const std::string& table);

}  // namespace varnel

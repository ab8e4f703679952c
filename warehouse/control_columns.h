#pragma once

// Control columns added without a default hold Null in the rows that were there
// before. Marking takes such a row neither as one to keep nor as a candidate, and
// deletion never removes it: it is kept, and the operator is told so.

#include <string>
#include <vector>

namespace varnel {

class Connection;

//! Counts the rows of the table with no value in is_deletable and in is_sustainable.
std::string ControlColumnNullsQuery(const std::string& table);

//! "Table <T>: <n> rows have no value in <column>; they are kept." for each control
//! column of the table that holds Nulls.
std::vector<std::string> ControlColumnNullLines(Connection& connection, const std::string& table);

}  // namespace varnel

#pragma once

#include <memory>
#include <string>

#include "warehouse/odbc.h"

namespace varnel::testing {

//! Creates an empty SQLite database file (an empty file is one) and returns its path.
std::string CreateSqliteFile(const std::string& path);

//! Opens a connection to a SQLite file through the real driver; throws on failure.
std::unique_ptr<Connection> OpenSqlite(const std::string& path);

//! The first column of the first row of a query as text ("<null>" for Null,
//! "<no row>" when the query returns nothing).
std::string QueryValue(Connection& connection, const std::string& sql);

}  // namespace varnel::testing

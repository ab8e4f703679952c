#pragma once

#include <fstream>
#include <memory>
#include <string>

#include "warehouse/connector.h"
#include "warehouse/odbc.h"

namespace varnel::testing {

//! Creates an empty SQLite database file (an empty file is one) and returns its path.
inline std::string CreateSqliteFile(const std::string& path) {
    std::ofstream(path, std::ios::binary | std::ios::trunc);
    return path;
}

//! Opens a connection to a SQLite file through the real driver; throws on failure.
inline std::unique_ptr<Connection> OpenSqlite(const std::string& path) {
    return Connector{"sqlite", path, "", "", false}.Connect(5);
}

//! The first column of the first row of a query as text ("<null>" for Null,
//! "<no row>" when the query returns nothing).
inline std::string QueryValue(Connection& connection, const std::string& sql) {
    auto result = connection.Query(sql);
    return result.Next() ? result.Get(0).value_or("<null>") : "<no row>";
}

}  // namespace varnel::testing

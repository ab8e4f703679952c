#include "tests/support/sqlite_file.h"

#include <fstream>
#include <stdexcept>

#include "warehouse/connector.h"

namespace varnel::testing {

std::string CreateSqliteFile(const std::string& path) {
    std::ofstream(path, std::ios::binary | std::ios::trunc);
    return path;
}

std::unique_ptr<Connection> OpenSqlite(const std::string& path) {
    Connector connector;
    connector.Server = "sqlite";
    connector.Database = path;
    return connector.Connect(5);
}

std::string QueryValue(Connection& connection, const std::string& sql) {
    auto result = connection.Query(sql);
    if (!result.Next()) return "<no row>";
    return result.Get(0).value_or("<null>");
}

}  // namespace varnel::testing

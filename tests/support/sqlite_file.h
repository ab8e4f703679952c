#pragma once

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "warehouse/connector.h"
#include "warehouse/odbc.h"

namespace varnel::testing {

//! Creates an empty SQLite database file (an empty file is one).
inline std::string CreateSqliteFile(const std::string& path) {
    std::ofstream(path, std::ios::binary | std::ios::trunc);
    return path;
}

inline std::unique_ptr<Connection> OpenSqlite(const std::string& path) {
    // The tests make new files: an empty one is a database to start.
    return Connector{"sqlite", path, "", "", false, NewFile::Allowed}.Connect(5);
}

//! Creates a SQLite database file without tables, its header written: a warehouse file
//! that holds nothing yet (an empty file is no warehouse).
inline std::string CreateWarehouseFile(const std::string& path) {
    OpenSqlite(CreateSqliteFile(path))->Execute("PRAGMA user_version = 1");
    return path;
}

//! The first value of a query as text ("<null>" for Null, "<no row>" for none).
inline std::string QueryValue(Connection& connection, const std::string& sql) {
    auto result = connection.Query(sql);
    return result.Next() ? result.Get(0).value_or("<null>") : "<no row>";
}

//! Every row of a query, its first `columns` values (all when 0) joined by the separator.
inline std::vector<std::string> RowTexts(Connection& connection, const std::string& sql,
                                         const std::string& separator, std::size_t columns = 0) {
    std::vector<std::string> rows;
    auto result = connection.Query(sql);
    while (result.Next()) {
        std::string& row = rows.emplace_back();
        for (std::size_t i = 0; i < (columns ? columns : result.ColumnCount()); ++i)
            row += (i ? separator : "") + result.Get(i).value_or("<null>");
    }
    return rows;
}

//! Every table of a SQLite file but the lock's, each as the text of its rows in row order.
inline std::map<std::string, std::string> TableContents(const std::string& path) {
    auto db = OpenSqlite(path);
    std::map<std::string, std::string> contents;
    const auto tables = RowTexts(
        *db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name <> 'dwm_multiuse'", "");
    for (const auto& table : tables) {
        std::string& text = contents[table];
        for (const auto& row : RowTexts(*db, "SELECT * FROM \"" + table + "\" ORDER BY rowid", "|"))
            text += row + "\n";
    }
    return contents;
}

}  // namespace varnel::testing

#pragma once

// The engine-specific halves of archiving: reading a fact table's definition
// from the catalog, creating its archive table and, on SQLite, the copy from the
// attached warehouse. Each throws on failure; the task's operations catch.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tasks/archiving/archive_statements.h"
#include "warehouse/odbc.h"

namespace varnel {

//! What the copy of one table leaves for its delete. On SQLite it is the
//! warehouse transaction that took the write lock before the copy, so that no
//! one can change the fact table until the delete commits; otherwise empty.
struct ArchiveHold {
    std::unique_ptr<Transaction> WarehouseTransaction;
};

//! Throws unless both connections are open and talk to the same kind of engine:
//! the rows travel from server to server.
void RequireArchivePair(const std::unique_ptr<Connection>& warehouse,
                        const std::unique_ptr<Connection>& archive);
//! Throws unless both connections talk to the same kind of engine.
void RequireSameEngine(const Connection& warehouse, const Connection& archive);
//! Whether the connection's engine copies by attaching the other database's file
//! (the SQLite path below); otherwise the server copies (the SQL Server path).
bool CopiesByAttaching(const Connection& connection);

//! The fact table's columns in order, from the SQL Server catalog.
std::vector<archive_sql::SqlServerColumn> ReadSqlServerColumns(Connection& warehouse,
                                                               const std::string& table);
//! The fact table's primary key, nullopt when it has none.
std::optional<archive_sql::TableKey> ReadSqlServerKey(Connection& warehouse,
                                                      const std::string& table);
//! The archive table on SQL Server: CREATE from the catalog, then the date
//! column and the widened key, all in one transaction of the archive.
void CreateSqlServerArchiveTable(Connection& warehouse, Connection& archive,
                                 const std::string& table);

//! The fact table's columns in order, from PRAGMA table_info.
std::vector<archive_sql::SqliteColumn> ReadSqliteColumns(Connection& warehouse,
                                                         const std::string& table);
//! The fact table's key constraint name, nullopt when the key has none.
std::optional<std::string> ReadSqliteKeyConstraint(Connection& warehouse, const std::string& table);
//! The archive table on SQLite, in one statement.
void CreateSqliteArchiveTable(Connection& warehouse, Connection& archive, const std::string& table);

//! The columns that the copy of one table names: each fact column with the
//! archive column of its name. Throws, naming the table and the column, when the
//! existing archive table lacks a fact column.
std::vector<archive_sql::CopiedColumn> CopiedColumns(Connection& warehouse, Connection& archive,
                                                     const std::string& table);

//! The SQLite copy: the warehouse connection takes the write lock (kept in the
//! hold), the columns are matched, the archive connection attaches the warehouse,
//! copies the rows in its own transaction, commits and detaches. Returns the
//! number of rows copied.
std::int64_t CopySqliteRows(const std::string& table, const std::string& condition,
                            Connection& warehouse, Connection& archive,
                            const std::string& archiveDate, ArchiveHold& hold);

}  // namespace varnel

#include "warehouse/sql_dialect.h"

namespace varnel {

std::string SqlServerDialect::IntOfBit(const std::string& expression) const {
    return "CONVERT(int, " + expression + ")";
}

std::string SqlServerDialect::DayOf(const std::string& expression) const {
    return "CONVERT(date, " + expression + ")";
}

std::string SqlServerDialect::TableExistsQuery() const {
    return "SELECT 1 FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = ?";
}

std::string SqlServerDialect::ColumnExistsQuery() const {
    return "SELECT 1 FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = ? AND COLUMN_NAME = ?";
}

std::string SqlServerDialect::TableHasIndexQuery() const {
    return "SELECT 1 FROM sys.indexes i JOIN sys.objects o ON o.object_id = i.object_id"
           " WHERE o.name = ? AND i.type > 0";
}

std::string SqlServerDialect::SelectLockRowForUpdate() const {
    return "Select * from dwm_multiuse WITH (UPDLOCK, HOLDLOCK)";
}

// An empty table offers no row to lock: the whole (one-row) table is held instead.
std::string SqlServerDialect::CountLockRowsForUpdate() const {
    return "select count(*) from dwm_multiuse WITH (TABLOCKX, HOLDLOCK)";
}

std::string SqlServerDialect::HoldReadLocks() const {
    return " WITH (HOLDLOCK)";
}

TransactionTexts SqlServerDialect::Transactions() const { return {}; }

std::string SqliteDialect::IntOfBit(const std::string& expression) const {
    return "CAST(" + expression + " AS INTEGER)";
}

std::string SqliteDialect::DayOf(const std::string& expression) const {
    return "date(" + expression + ")";
}

// SQLite resolves table and column names without regard to case, so the
// catalog does too; views count as tables, as they do for the server's catalog.
std::string SqliteDialect::TableExistsQuery() const {
    return "SELECT 1 FROM sqlite_master WHERE type IN ('table', 'view')"
           " AND name = ? COLLATE NOCASE";
}

std::string SqliteDialect::ColumnExistsQuery() const {
    return "SELECT 1 FROM pragma_table_info(?) WHERE name = ? COLLATE NOCASE";
}

std::string SqliteDialect::TableHasIndexQuery() const {
    return "SELECT 1 FROM pragma_index_list(?)";
}

// BEGIN IMMEDIATE has taken the file's write lock already.
std::string SqliteDialect::SelectLockRowForUpdate() const { return "Select * from dwm_multiuse"; }

std::string SqliteDialect::CountLockRowsForUpdate() const {
    return "select count(*) from dwm_multiuse";
}

// Transactions begin IMMEDIATE: the write lock on the file keeps every other writer
// out until they end.
std::string SqliteDialect::HoldReadLocks() const {
    return "";
}

// NOTE: with autocommit off the SQLite driver keeps a transaction open even after
// a plain SELECT, holding read locks that block other writers, and COMMIT sent as
// text confuses SQLEndTran. So autocommit stays on and transactions run as text.
TransactionTexts SqliteDialect::Transactions() const {
    return {"BEGIN IMMEDIATE", "COMMIT", "ROLLBACK"};
}

const SqlDialect& DialectFor(Engine engine) {
    static const SqlServerDialect sqlServer;
    static const SqliteDialect sqlite;
    if (engine == Engine::SqlServer) return sqlServer;
    return sqlite;
}

}  // namespace varnel

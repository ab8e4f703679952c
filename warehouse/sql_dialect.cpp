#include "warehouse/sql_dialect.h"

#include "warehouse/live_lock.h"

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

TransactionTexts SqlServerDialect::Transactions() const {
    return {};
}

std::string SqlServerDialect::JoinedUpdate(const std::string& table, const std::string& assignment,
                                           const std::string& joined,
                                           const std::string& condition) const {
    return "UPDATE " + table + " SET " + assignment + " FROM " + table + "," + joined + " WHERE " +
           condition;
}

std::vector<std::string> SqlServerDialect::CompileOnly(const std::string& statement) const {
    return {"Set NOEXEC ON", statement, "Set NOEXEC OFF"};
}

std::string SqlServerDialect::CompileOnlyReset() const {
    return "Set NOEXEC OFF";
}

std::optional<std::vector<std::string>> SqlServerDialect::RowIdColumns() const {
    return std::nullopt;
}

std::string SqlServerDialect::PrimaryKeyColumnsQuery() const {
    return "SELECT kcu.COLUMN_NAME FROM INFORMATION_SCHEMA.TABLE_CONSTRAINTS tc"
           " JOIN INFORMATION_SCHEMA.KEY_COLUMN_USAGE kcu"
           " ON kcu.CONSTRAINT_SCHEMA = tc.CONSTRAINT_SCHEMA AND kcu.CONSTRAINT_NAME = "
           "tc.CONSTRAINT_NAME"
           " WHERE tc.CONSTRAINT_TYPE = 'PRIMARY KEY' AND tc.TABLE_NAME = ?"
           " ORDER BY kcu.ORDINAL_POSITION";
}

bool SqlServerDialect::KeepsDatesAsText() const {
    return false;
}

bool SqlServerDialect::SelectsDatabaseByCatalog() const {
    return true;
}

CopyRoute SqlServerDialect::RouteBetweenDatabases() const {
    return CopyRoute::ThroughServer;
}

std::unique_ptr<LiveLock> SqlServerDialect::NewLiveLock(const Connection& connection) const {
    return NewSessionLiveLock(connection.Property("Data Source").value_or("") + "/" +
                              connection.DefaultDatabase());
}

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
std::string SqliteDialect::SelectLockRowForUpdate() const {
    return "Select * from dwm_multiuse";
}

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
    return {"BEGIN IMMEDIATE", "BEGIN", "COMMIT", "ROLLBACK"};
}

// SQLite has no joined UPDATE; EXISTS matches each row once, as the join does.
std::string SqliteDialect::JoinedUpdate(const std::string& table, const std::string& assignment,
                                        const std::string& joined,
                                        const std::string& condition) const {
    return "UPDATE " + table + " SET " + assignment + " WHERE EXISTS (SELECT 1 FROM " + joined +
           " WHERE " + condition + ")";
}

// NOTE: the SQLite driver's SQLPrepare does not report errors in an UPDATE, INSERT
// or DELETE; EXPLAIN compiles the statement, reporting them, and runs nothing.
std::vector<std::string> SqliteDialect::CompileOnly(const std::string& statement) const {
    return {"EXPLAIN " + statement};
}

std::string SqliteDialect::CompileOnlyReset() const {
    return "";
}

std::optional<std::vector<std::string>> SqliteDialect::RowIdColumns() const {
    return std::vector<std::string>{"rowid"};
}

std::string SqliteDialect::PrimaryKeyColumnsQuery() const {
    return "SELECT name FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk";
}

bool SqliteDialect::KeepsDatesAsText() const {
    return true;
}

bool SqliteDialect::SelectsDatabaseByCatalog() const {
    return false;
}

CopyRoute SqliteDialect::RouteBetweenDatabases() const {
    return CopyRoute::AttachedFile;
}

std::unique_ptr<LiveLock> SqliteDialect::NewLiveLock(const Connection& connection) const {
    return NewFileLiveLock(LiveLockFilePath(connection.DefaultDatabase()));
}

const SqlDialect& DialectFor(Engine engine) {
    static const SqlServerDialect sqlServer;
    static const SqliteDialect sqlite;
    if (engine == Engine::SqlServer) return sqlServer;
    return sqlite;
}

}  // namespace varnel

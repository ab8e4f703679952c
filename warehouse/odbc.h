#pragma once

// A small owner layer over ODBC (unixODBC): move-only handle owners, one error
// type that keeps every diagnostic record, forward-only results, prepared
// statements with typed nullable parameters and transactions that roll back
// unless committed.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "base/timestamp.h"

namespace varnel {

class SqlDialect;

//! One diagnostic record of a failed ODBC call.
struct DiagnosticRecord {
    std::string SqlState;
    std::int32_t NativeCode = 0;
    std::string Text;
};

//! A failed ODBC call. Its description (what()) is the driver's own message text,
//! one line per diagnostic record joined by CR LF.
class OdbcError : public std::runtime_error {
public:
    OdbcError(std::vector<DiagnosticRecord> records, std::string sql, const std::string& fallback);

    const std::vector<DiagnosticRecord>& Records() const { return records_; }
    //! The statement that failed, empty for calls that send no SQL.
    const std::string& Sql() const { return sql_; }
    //! SQLSTATE of the first record, empty when there is none.
    std::string SqlState() const;

private:
    std::vector<DiagnosticRecord> records_;
    std::string sql_;
};

//! Collects every diagnostic record of one handle once.
// NOTE: some drivers misbehave when asked twice for the same records, so each failed
// call reads them exactly once, here.
std::vector<DiagnosticRecord> CollectDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

//! The kind of a parameter as it is bound.
enum class ValueType { Text, Integer, Double, Timestamp };

//! A parameter value; std::monostate is Null.
using Value = std::variant<std::monostate, std::string, std::int64_t, double, Timestamp>;

//! A typed, nullable parameter of a command.
struct Parameter {
    std::string Name;
    ValueType Type = ValueType::Text;
    //! Column size for text (0 = the value's length); precision for numbers.
    std::size_t Size = 0;
    int Precision = 0;
    int Scale = 0;
    Value Data;
};

//! Which engine a connection talks to.
enum class Engine { SqlServer, Sqlite };

//! One column of a result as the driver describes it.
struct ColumnInfo {
    std::string Name;
    SQLSMALLINT SqlType = 0;
    SQLULEN Size = 0;
    SQLSMALLINT Scale = 0;
    bool Nullable = true;
};

class Connection;

//! A forward-only result: rows are fetched one by one from the driver, never
//! loaded whole. The current row's values are read as text (Null = nullopt).
class Result {
public:
    Result(Result&&) noexcept;
    Result& operator=(Result&&) noexcept;
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    ~Result();

    //! Moves to the next row; false at the end.
    bool Next();
    std::size_t ColumnCount() const { return columns_.size(); }
    const ColumnInfo& Column(std::size_t index) const { return columns_.at(index); }
    const std::vector<ColumnInfo>& Columns() const { return columns_; }
    //! Position of a column by name, compared without regard to case; throws when absent.
    std::size_t IndexOf(const std::string& name) const;

    bool IsNull(std::size_t index) const;
    //! The value as text; nullopt for Null.
    const std::optional<std::string>& Get(std::size_t index) const;
    const std::optional<std::string>& Get(const std::string& name) const;
    //! The value as a whole number; nullopt for Null; throws when it is no number.
    std::optional<std::int64_t> GetInt(std::size_t index) const;
    //! A bit or number read as a Boolean: non-zero is True, Null is False.
    bool GetBool(std::size_t index) const;

    //! Frees the driver's cursor early.
    void Close();

private:
    friend class Connection;
    friend class PreparedStatement;
    Result(SQLHSTMT statement, std::string sql, bool ownsStatement);
    void Describe();

    SQLHSTMT statement_ = SQL_NULL_HSTMT;
    bool ownsStatement_ = true;
    std::string sql_;
    std::vector<ColumnInfo> columns_;
    std::vector<std::optional<std::string>> row_;
    bool hasRow_ = false;
    // The prepared statement (and its bound buffers) a result may live on.
    std::shared_ptr<void> keepAlive_;
};

//! A statement prepared once and executed repeatedly with new parameter values.
class PreparedStatement {
public:
    PreparedStatement(PreparedStatement&&) noexcept;
    PreparedStatement& operator=(PreparedStatement&&) noexcept;
    PreparedStatement(const PreparedStatement&) = delete;
    PreparedStatement& operator=(const PreparedStatement&) = delete;
    ~PreparedStatement();

    //! Runs the statement with these values; returns the affected-row count
    //! (0 for a statement that touched no row).
    std::int64_t Execute(const std::vector<Parameter>& parameters);
    //! Runs a prepared query; the result borrows this statement until it is closed.
    Result Query(const std::vector<Parameter>& parameters);

    const std::string& Sql() const { return sql_; }

private:
    friend class Connection;
    PreparedStatement(SQLHSTMT statement, std::string sql, Engine engine);
    void Bind(const std::vector<Parameter>& parameters);

    SQLHSTMT statement_ = SQL_NULL_HSTMT;
    std::string sql_;
    Engine engine_;
    // Buffers bound to the statement; they must outlive its execution.
    struct Buffer {
        std::string text;
        std::int64_t integer = 0;
        double real = 0;
        SQL_TIMESTAMP_STRUCT timestamp{};
        SQLLEN indicator = 0;
    };
    std::vector<Buffer> buffers_;
};

//! A command: SQL text, its parameters and a time-out, the unit that the
//! tasks build apart from sending it.
struct Command {
    std::string Text;
    std::vector<Parameter> Parameters;
    //! Seconds; 0 waits without limit.
    int TimeoutSeconds = 60;
    //! Text is a stored procedure's name: sent as an ODBC call escape.
    bool StoredProcedure = false;
};

//! An open ODBC connection with the properties it was opened with.
class Connection {
public:
    Connection(Connection&&) noexcept;
    Connection& operator=(Connection&&) noexcept;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    //! Opens a connection with an ODBC connection string; throws OdbcError.
    static Connection Open(const std::string& connectionString, Engine engine,
                           int loginTimeoutSeconds);

    bool IsOpen() const { return connection_ != SQL_NULL_HDBC && open_; }
    void Close();
    //! Opens a closed connection again with the connection string it was opened with.
    void Reopen();
    Engine GetEngine() const { return engine_; }
    const SqlDialect& Dialect() const;

    //! Runs one statement; returns its affected-row count (0 when none, and for
    //! statements that report no count).
    std::int64_t Execute(const std::string& sql, int timeoutSeconds = 60);
    //! Runs a command with its parameters.
    std::int64_t Execute(const Command& command);
    //! Opens a forward-only result.
    Result Query(const std::string& sql, int timeoutSeconds = 60);
    Result Query(const Command& command);
    PreparedStatement Prepare(const std::string& sql, int timeoutSeconds = 60);

    //! Autocommit on (the default) or off; used by transactions on SQL Server.
    void SetAutocommit(bool on);
    void EndTransaction(bool commit);

    //! A connection property by its name ("Data Source", "Server Name",
    //! "Integrated Security", "User ID", "Password", "Initial Catalog",
    //! "Connect Timeout"); nullopt when the connection has none.
    std::optional<std::string> Property(const std::string& name) const;
    void SetProperty(const std::string& name, std::string value);
    //! The default database: the current catalog (SQL Server) or the file (SQLite).
    std::string DefaultDatabase() const;
    //! Makes another database the default one (USE on SQL Server).
    void SetDefaultDatabase(const std::string& database);

    SQLHDBC Handle() const { return connection_; }

private:
    Connection(SQLHDBC handle, Engine engine);
    SQLHSTMT NewStatement(int timeoutSeconds);

    SQLHDBC connection_ = SQL_NULL_HDBC;
    Engine engine_ = Engine::Sqlite;
    bool open_ = false;
    std::string connectionString_;
    int loginTimeoutSeconds_ = 60;
    std::map<std::string, std::string> properties_;
};

//! A transaction that rolls back unless Commit() was called. On SQLite it runs
//! as text (BEGIN IMMEDIATE / COMMIT / ROLLBACK) with autocommit on; on SQL
//! Server with autocommit off and SQLEndTran.
class Transaction {
public:
    explicit Transaction(Connection& connection);
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();

    void Commit();
    void Rollback();
    bool Active() const { return active_; }

private:
    Connection& connection_;
    bool active_ = false;
};

//! Cancelling the statement in progress from another thread. The thread that runs
//! statements registers each one while it executes or fetches; a watcher thread
//! (woken by SIGINT or SIGTERM) then calls SQLCancel on it, which ODBC allows from
//! another thread. The statement fails, and its transaction rolls back.
//!
//! A request counts only while cancelling is allowed (during a task). It cancels the
//! statement executing when the watcher handles it; one that comes between two
//! statements stops the next statement before it starts, unless the run sees the
//! request first at a poll of the window and settles it. One request stops one
//! statement: those that clean up afterwards (ROLLBACK, the job history, the lock's
//! release) run normally.

//! Records one request. Async-signal-safe: a signal handler may call it.
void RequestStatementCancel() noexcept;
//! Handles the requests so far: cancels the statement executing now, when there is
//! one and cancelling is allowed. For the watcher thread, never for a signal handler.
void CancelRequestedStatement();
//! The requests so far have been seen by the run (it stops on its own); none of them
//! cancels a statement any more.
void SettleStatementCancel();
//! Allows or forbids cancelling statements; forbidding also settles every request.
void AllowStatementCancel(bool allowed);

//! The process's ODBC environment, allocated on first use.
SQLHENV OdbcEnvironment();

//! Names of the installed ODBC drivers, as the driver manager lists them.
std::vector<std::string> InstalledOdbcDrivers();

}  // namespace varnel

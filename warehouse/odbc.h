#pragma once

// A small owner layer over ODBC (unixODBC): move-only handle owners, one error
// type that keeps every diagnostic record, forward-only results, prepared
// statements with typed nullable parameters and transactions that roll back
// unless committed.

#include <cstdint>
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

// Owners of the driver's handles, one type per kind. The driver's headers stay in
// the .cpp files of this layer; a handle is an opaque pointer here.
struct EnvironmentHandleFree {
    void operator()(void* handle) const noexcept;
};
//! Disconnects (when connected) and frees a connection handle.
struct ConnectionHandleFree {
    void operator()(void* handle) const noexcept;
};
struct StatementHandleFree {
    void operator()(void* handle) const noexcept;
};
//! Closes the open cursor of a statement that something else owns.
struct CursorClose {
    void operator()(void* handle) const noexcept;
};
using EnvironmentHandle = std::unique_ptr<void, EnvironmentHandleFree>;
using ConnectionHandle = std::unique_ptr<void, ConnectionHandleFree>;
using StatementHandle = std::unique_ptr<void, StatementHandleFree>;
using OpenCursor = std::unique_ptr<void, CursorClose>;

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

//! What a result column holds, as far as binding its values back matters.
enum class ColumnKind { Text, Whole, Real, Date };

//! One column of a result as the driver describes it.
struct ColumnInfo {
    std::string Name;
    ColumnKind Kind = ColumnKind::Text;
    std::size_t Size = 0;
    int Scale = 0;
    bool Nullable = true;
};

//! The parameter buffers bound to a statement; they must outlive its execution.
struct ParameterBuffers;
struct ParameterBuffersFree {
    void operator()(ParameterBuffers* buffers) const noexcept;
};
using ParameterBuffersOwner = std::unique_ptr<ParameterBuffers, ParameterBuffersFree>;

class Connection;

//! A forward-only result: rows are fetched one by one from the driver, never
//! loaded whole. The current row's values are read as text (Null = nullopt).
class Result {
  public:
    Result(Result&&) noexcept = default;
    Result& operator=(Result&&) noexcept = default;
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    ~Result() = default;

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
    // A result on a statement of its own, with the buffers bound to it.
    Result(StatementHandle statement, ParameterBuffersOwner buffers, std::string sql);
    // A result on a prepared statement that lives on; only its cursor is closed.
    Result(void* statement, std::string sql);
    void* Statement() const { return owned_ ? owned_.get() : cursor_.get(); }
    void Describe();

    // Exactly one of owned_ and cursor_ is set while the result is open.
    ParameterBuffersOwner buffers_;
    StatementHandle owned_;
    OpenCursor cursor_;
    std::string sql_;
    std::vector<ColumnInfo> columns_;
    std::vector<std::optional<std::string>> row_;
    bool hasRow_ = false;
};

//! A statement prepared once and executed repeatedly with new parameter values.
class PreparedStatement {
  public:
    PreparedStatement(PreparedStatement&&) noexcept = default;
    PreparedStatement& operator=(PreparedStatement&&) noexcept = default;
    PreparedStatement(const PreparedStatement&) = delete;
    PreparedStatement& operator=(const PreparedStatement&) = delete;
    ~PreparedStatement() = default;

    //! Runs the statement with these values; returns the affected-row count
    //! (0 for a statement that touched no row).
    std::int64_t Execute(const std::vector<Parameter>& parameters);
    //! Runs a prepared query; the result borrows this statement until it is closed.
    Result Query(const std::vector<Parameter>& parameters);

    const std::string& Sql() const { return sql_; }

  private:
    friend class Connection;
    PreparedStatement(StatementHandle statement, std::string sql, Engine engine);
    void Bind(const std::vector<Parameter>& parameters);
    void Run(const char* what);

    StatementHandle statement_;
    std::string sql_;
    Engine engine_;
    ParameterBuffersOwner buffers_;
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

//! What a connection was opened to, as the operator gave it: enough to open a
//! second, independent connection to the same place.
struct ConnectionTarget {
    std::string Server;
    std::string Database;
    bool WindowsAuthentication = false;
    std::string UserName;
    std::string Password;
    int LoginTimeoutSeconds = 60;
};

//! An open ODBC connection with the properties it was opened with.
class Connection {
  public:
    Connection(Connection&&) noexcept = default;
    Connection& operator=(Connection&&) noexcept = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() = default;

    //! Opens a connection with an ODBC connection string; throws OdbcError.
    static Connection Open(const std::string& connectionString, Engine engine,
                           ConnectionTarget target);

    bool IsOpen() const { return connection_ && open_; }
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
    //! "Integrated Security" ("SSPI" or empty), "User ID", "Password",
    //! "Initial Catalog", "Connect Timeout"); nullopt for any other name.
    std::optional<std::string> Property(const std::string& name) const;
    //! What the connection was opened to; its database is the one it was opened with.
    const ConnectionTarget& Target() const { return target_; }
    //! The server's own name ("Server Name"): what a linked server is known by.
    void SetServerName(std::string name) { serverName_ = std::move(name); }
    //! The default database: the current catalog (SQL Server) or the file (SQLite).
    std::string DefaultDatabase() const;
    //! Makes another database the default one (USE on SQL Server).
    void SetDefaultDatabase(const std::string& database);

  private:
    Connection(ConnectionHandle handle, Engine engine);
    StatementHandle NewStatement(int timeoutSeconds);

    ConnectionHandle connection_;
    Engine engine_ = Engine::Sqlite;
    bool open_ = false;
    std::string connectionString_;
    ConnectionTarget target_;
    std::string serverName_;
    std::string defaultDatabase_;
};

//! A transaction that rolls back unless Commit() was called. It runs as the
//! connection's dialect says: as statements (BEGIN IMMEDIATE / COMMIT / ROLLBACK on
//! SQLite) with autocommit on, or, where the dialect gives no texts, with autocommit
//! off and the driver's own commit and rollback (SQL Server).
//!
//! A deferred transaction takes no write lock when it begins. On SQLite this is
//! what a connection with another file attached needs: BEGIN IMMEDIATE would try
//! to lock the attached file too, even when only the main file is written.
class Transaction {
  public:
    enum class Start { Locking, Deferred };

    explicit Transaction(Connection& connection, Start start = Start::Locking);
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();

    void Commit();
    void Rollback();
    bool Active() const { return active_; }

  private:
    void End(bool commit);

    Connection& connection_;
    std::string commitText_;
    std::string rollbackText_;
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

//! Names of the installed ODBC drivers, as the driver manager lists them.
std::vector<std::string> InstalledOdbcDrivers();

//! Failures planned by tests, to reach the paths the real driver seldom takes. A
//! planned failure makes a statement fail as the driver would: an OdbcError with
//! the SQLSTATE and message given, before anything reaches the driver. Commits and
//! rollbacks count as the statements "COMMIT" and "ROLLBACK". Nothing in the
//! program plans one; only tests call these.
struct PlannedFailure {
    //! The N-th statement sent from now fails (1 = the next); 0 to match by Pattern.
    std::size_t Ordinal = 0;
    //! A statement whose text contains this fails (when Ordinal is 0).
    std::string Pattern;
    std::string SqlState = "HY000";
    std::string Message = "The statement failed.";
    //! How many matching statements fail; 0 for every one.
    int Times = 1;

    static PlannedFailure Nth(std::size_t ordinal, std::string sqlState, std::string message) {
        return {ordinal, "", std::move(sqlState), std::move(message), 1};
    }
    static PlannedFailure Matching(std::string pattern, std::string sqlState, std::string message,
                                   int times = 1) {
        return {0, std::move(pattern), std::move(sqlState), std::move(message), times};
    }
};
void PlanStatementFailure(PlannedFailure failure);
//! Forgets every planned failure and the statement count.
void ClearPlannedFailures();

}  // namespace varnel

#include "warehouse/odbc.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <mutex>
#include <utility>

#include "base/run_hooks.h"
#include "base/text.h"
#include "warehouse/sql_dialect.h"

namespace varnel {

namespace {

bool Succeeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

ColumnKind KindOf(SQLSMALLINT sqlType) {
    switch (sqlType) {
        case SQL_BIT:
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT:
            return ColumnKind::Whole;
        case SQL_REAL:
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return ColumnKind::Real;
        case SQL_TYPE_TIMESTAMP:
        case SQL_TYPE_DATE:
        case SQL_TIMESTAMP:
        case SQL_DATE:
            return ColumnKind::Date;
        default:
            return ColumnKind::Text;
    }
}

// Collects every diagnostic record of one handle once.
// NOTE: some drivers misbehave when asked twice for the same records, so each failed
// call reads them exactly once, here.
std::vector<DiagnosticRecord> CollectDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

[[noreturn]] void Fail(SQLSMALLINT handleType, SQLHANDLE handle, const std::string& sql,
                       const std::string& fallback) {
    throw OdbcError(CollectDiagnostics(handleType, handle), sql, fallback);
}

void Check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const std::string& sql,
           const char* what) {
    if (!Succeeded(rc)) Fail(handleType, handle, sql, what);
}

SQLCHAR* Chars(const std::string& text) {
    // ODBC's ANSI functions take non-const pointers but do not write through them.
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str()));
}

SQLINTEGER Length(const std::string& text) {
    return static_cast<SQLINTEGER>(text.size());
}

// ---------------------------------------------------------------- Statement cancel

// Requests are counted by the signal handler without a lock; everything else is
// guarded by the mutex. The watcher holds it while it calls SQLCancel, so that the
// statement handle cannot be freed under it.
std::atomic<unsigned> cancelRequests{0};
static_assert(std::atomic<unsigned>::is_always_lock_free);

struct CancelState {
    std::mutex Mutex;
    unsigned Settled = 0;
    bool Allowed = false;
    SQLHSTMT Executing = SQL_NULL_HSTMT;
};

CancelState& Cancel() {
    static CancelState state;
    return state;
}

// Marks a statement as executing for as long as it lives. A request that came
// while no statement was executing is still waiting: it stops this statement
// before it starts, so that no statement of the task runs after the request.
class Executing {
  public:
    explicit Executing(SQLHSTMT statement) {
        CancelState& state = Cancel();
        const std::lock_guard lock(state.Mutex);
        const unsigned requests = cancelRequests.load();
        if (state.Allowed && requests != state.Settled) {
            state.Settled = requests;
            throw OdbcError(
                {{"HY008", 0, "The statement was cancelled: the run was asked to stop."}}, "", "");
        }
        state.Executing = statement;
    }
    ~Executing() {
        CancelState& state = Cancel();
        const std::lock_guard lock(state.Mutex);
        state.Executing = SQL_NULL_HSTMT;
    }
    Executing(const Executing&) = delete;
    Executing& operator=(const Executing&) = delete;
};

// ---------------------------------------------------------------- Planned failures

// Armed only while a test has planned a failure, so that statements pay one atomic
// load and nothing more otherwise.
std::atomic<bool> failuresPlanned{false};

struct PlannedFailures {
    std::mutex Mutex;
    std::vector<PlannedFailure> Plans;
    std::size_t Sent = 0;
};

PlannedFailures& Planned() {
    static PlannedFailures planned;
    return planned;
}

// Throws the planned failure that this statement meets, if any.
void SendStatement(const std::string& sql) {
    if (!failuresPlanned.load(std::memory_order_relaxed)) return;
    PlannedFailures& planned = Planned();
    const std::lock_guard lock(planned.Mutex);
    ++planned.Sent;
    for (auto plan = planned.Plans.begin(); plan != planned.Plans.end(); ++plan) {
        const bool meets = plan->Ordinal > 0 ? plan->Ordinal == planned.Sent
                                             : sql.find(plan->Pattern) != std::string::npos;
        if (!meets) continue;
        OdbcError error({{plan->SqlState, 0, plan->Message}}, sql, plan->Message);
        if (plan->Ordinal > 0 || (plan->Times > 0 && --plan->Times == 0)) planned.Plans.erase(plan);
        throw error;
    }
}

}  // namespace

void PlanStatementFailure(PlannedFailure failure) {
    PlannedFailures& planned = Planned();
    const std::lock_guard lock(planned.Mutex);
    if (failure.Ordinal > 0) failure.Ordinal += planned.Sent;
    planned.Plans.push_back(std::move(failure));
    failuresPlanned = true;
}

void ClearPlannedFailures() {
    PlannedFailures& planned = Planned();
    const std::lock_guard lock(planned.Mutex);
    planned.Plans.clear();
    planned.Sent = 0;
    failuresPlanned = false;
}

void RequestStatementCancel() noexcept {
    cancelRequests.fetch_add(1);
}

void CancelRequestedStatement() {
    CancelState& state = Cancel();
    const std::lock_guard lock(state.Mutex);
    const unsigned requests = cancelRequests.load();
    if (requests == state.Settled) return;
    // Between two statements the request waits for the next one (see Executing).
    if (state.Allowed && state.Executing == SQL_NULL_HSTMT) return;
    state.Settled = requests;
    if (state.Allowed) SQLCancel(state.Executing);
}

void SettleStatementCancel() {
    CancelState& state = Cancel();
    const std::lock_guard lock(state.Mutex);
    state.Settled = cancelRequests.load();
}

void AllowStatementCancel(bool allowed) {
    CancelState& state = Cancel();
    const std::lock_guard lock(state.Mutex);
    state.Allowed = allowed;
    if (!allowed) state.Settled = cancelRequests.load();
}

OdbcError::OdbcError(std::vector<DiagnosticRecord> records, std::string sql,
                     const std::string& fallback)
    : std::runtime_error([&] {
          std::string text;
          for (const auto& record : records) {
              if (!text.empty()) text += "\r\n";
              text += record.Text;
          }
          return text.empty() ? fallback : text;
      }()),
      records_(std::move(records)),
      sql_(std::move(sql)) {}

std::string OdbcError::SqlState() const {
    return records_.empty() ? std::string() : records_.front().SqlState;
}

namespace {

std::vector<DiagnosticRecord> CollectDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    std::vector<DiagnosticRecord> records;
    if (handle == SQL_NULL_HANDLE) return records;
    for (SQLSMALLINT number = 1;; ++number) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        std::vector<SQLCHAR> text(1024);
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRec(handleType, handle, number, state, &native, text.data(),
                                     static_cast<SQLSMALLINT>(text.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
            text.resize(static_cast<std::size_t>(length) + 1);
            rc = SQLGetDiagRec(handleType, handle, number, state, &native, text.data(),
                               static_cast<SQLSMALLINT>(text.size()), &length);
        }
        if (!Succeeded(rc)) break;
        DiagnosticRecord record;
        record.SqlState = reinterpret_cast<const char*>(state);
        record.NativeCode = native;
        record.Text.assign(
            reinterpret_cast<const char*>(text.data()),
            std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                                  text.size() - 1));
        records.push_back(std::move(record));
    }
    return records;
}

}  // namespace

// ---------------------------------------------------------------- Handle owners

void EnvironmentHandleFree::operator()(void* handle) const noexcept {
    SQLFreeHandle(SQL_HANDLE_ENV, handle);
}

void ConnectionHandleFree::operator()(void* handle) const noexcept {
    // A connected handle cannot be freed; disconnecting one that is not connected
    // only fails.
    SQLDisconnect(handle);
    SQLFreeHandle(SQL_HANDLE_DBC, handle);
}

void StatementHandleFree::operator()(void* handle) const noexcept {
    SQLFreeHandle(SQL_HANDLE_STMT, handle);
}

void CursorClose::operator()(void* handle) const noexcept {
    SQLFreeStmt(handle, SQL_CLOSE);
}

struct ParameterBuffers {
    struct Buffer {
        std::string text;
        std::int64_t integer = 0;
        double real = 0;
        SQL_TIMESTAMP_STRUCT timestamp{};
        SQLLEN indicator = 0;
    };
    std::vector<Buffer> items;
};

void ParameterBuffersFree::operator()(ParameterBuffers* buffers) const noexcept {
    delete buffers;
}

// ---------------------------------------------------------------- Environment

namespace {

// The process's ODBC environment, allocated on first use.
SQLHENV OdbcEnvironment() {
    static const EnvironmentHandle environment = [] {
        SQLHENV env = SQL_NULL_HENV;
        if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
            throw OdbcError({}, "", "The ODBC environment could not be allocated.");
        EnvironmentHandle owner(env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        return owner;
    }();
    return environment.get();
}

}  // namespace

std::vector<std::string> InstalledOdbcDrivers() {
    std::vector<std::string> drivers;
    SQLHENV env = OdbcEnvironment();
    SQLCHAR name[256];
    SQLCHAR attributes[1024];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (Succeeded(SQLDrivers(env, direction, name, sizeof name, &nameLength, attributes,
                                sizeof attributes, &attributesLength))) {
        drivers.emplace_back(reinterpret_cast<const char*>(name));
        direction = SQL_FETCH_NEXT;
    }
    return drivers;
}

// ---------------------------------------------------------------- Result

Result::Result(StatementHandle statement, ParameterBuffersOwner buffers, std::string sql)
    : buffers_(std::move(buffers)), owned_(std::move(statement)), sql_(std::move(sql)) {
    Describe();  // on a throw the members free the statement
}

Result::Result(void* statement, std::string sql) : cursor_(statement), sql_(std::move(sql)) {
    Describe();
}

void Result::Close() {
    cursor_.reset();
    owned_.reset();
    buffers_.reset();
    hasRow_ = false;
}

void Result::Describe() {
    SQLHSTMT statement = Statement();
    SQLSMALLINT count = 0;
    Check(SQLNumResultCols(statement, &count), SQL_HANDLE_STMT, statement, sql_,
          "The result's columns could not be described.");
    columns_.resize(static_cast<std::size_t>(count));
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
        SQLCHAR name[512] = {};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
        SQLSMALLINT sqlType = 0;
        SQLULEN size = 0;
        SQLSMALLINT scale = 0;
        ColumnInfo& column = columns_[i - 1u];
        Check(SQLDescribeCol(statement, i, name, sizeof name, &nameLength, &sqlType, &size, &scale,
                             &nullable),
              SQL_HANDLE_STMT, statement, sql_, "A result column could not be described.");
        column.Name = reinterpret_cast<const char*>(name);
        column.Kind = KindOf(sqlType);
        column.Size = static_cast<std::size_t>(size);
        column.Scale = scale;
        column.Nullable = nullable != SQL_NO_NULLS;
    }
    row_.assign(columns_.size(), std::nullopt);
}

bool Result::Next() {
    SQLHSTMT statement = Statement();
    if (statement == SQL_NULL_HSTMT) return false;
    SQLRETURN rc = SQL_SUCCESS;
    {
        const Executing executing(statement);
        rc = SQLFetch(statement);
    }
    if (rc == SQL_NO_DATA) {
        hasRow_ = false;
        return false;
    }
    Check(rc, SQL_HANDLE_STMT, statement, sql_, "The next row could not be fetched.");
    // Every column is read in order as soon as the row arrives: drivers need not
    // allow SQLGetData out of order or twice for one column.
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const auto column = static_cast<SQLUSMALLINT>(i + 1);
        std::string value;
        char buffer[4096];
        SQLLEN indicator = 0;
        bool isNull = false;
        if (columns_[i].Kind == ColumnKind::Real) {
            // Drivers print doubles with 15 digits, which do not always read back as
            // the stored number; the shortest exact text does.
            double number = 0;
            rc = SQLGetData(statement, column, SQL_C_DOUBLE, &number, 0, &indicator);
            Check(rc, SQL_HANDLE_STMT, statement, sql_, "A value could not be read.");
            if (indicator == SQL_NULL_DATA) {
                row_[i].reset();
            } else {
                const auto written = std::to_chars(buffer, buffer + sizeof buffer, number);
                row_[i] = std::string(buffer, written.ptr);
            }
            continue;
        }
        for (;;) {
            rc = SQLGetData(statement, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
            if (rc == SQL_NO_DATA) break;
            Check(rc, SQL_HANDLE_STMT, statement, sql_, "A value could not be read.");
            if (indicator == SQL_NULL_DATA) {
                isNull = true;
                break;
            }
            if (rc == SQL_SUCCESS_WITH_INFO &&
                (indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof buffer))) {
                value.append(buffer, sizeof buffer - 1);  // truncated: more follows
                continue;
            }
            value.append(buffer, static_cast<std::size_t>(indicator));
            break;
        }
        if (isNull)
            row_[i].reset();
        else
            row_[i] = std::move(value);
    }
    hasRow_ = true;
    return true;
}

std::size_t Result::IndexOf(const std::string& name) const {
    for (std::size_t i = 0; i < columns_.size(); ++i)
        if (EqualsIgnoringCase(columns_[i].Name, name)) return i;
    throw std::runtime_error(
        "Item cannot be found in the collection corresponding to the "
        "requested name or ordinal: " +
        name);
}

bool Result::IsNull(std::size_t index) const {
    return !Get(index).has_value();
}

const std::optional<std::string>& Result::Get(std::size_t index) const {
    if (!hasRow_) throw std::runtime_error("Either BOF or EOF is True: there is no current row.");
    return row_.at(index);
}

const std::optional<std::string>& Result::Get(const std::string& name) const {
    return Get(IndexOf(name));
}

std::optional<std::int64_t> Result::GetInt(std::size_t index) const {
    const auto& value = Get(index);
    if (!value) return std::nullopt;
    try {
        // Whole numbers exactly (a double keeps only 53 bits); decimals truncated.
        std::size_t used = 0;
        const long long whole = std::stoll(*value, &used);
        if (used == value->size()) return whole;
        return static_cast<std::int64_t>(std::stod(*value));
    } catch (const std::exception&) {
        throw std::runtime_error("Type mismatch: '" + *value + "' is not a number.");
    }
}

bool Result::GetBool(std::size_t index) const {
    const auto& value = Get(index);
    if (!value) return false;
    const std::string text = LowerCase(*value);
    if (text == "true") return true;
    if (text == "false" || text.empty()) return false;
    return GetInt(index).value_or(0) != 0;
}

// ---------------------------------------------------------------- PreparedStatement

PreparedStatement::PreparedStatement(StatementHandle statement, std::string sql, Engine engine)
    : statement_(std::move(statement)), sql_(std::move(sql)), engine_(engine) {}

void PreparedStatement::Bind(const std::vector<Parameter>& parameters) {
    SQLHSTMT statement = statement_.get();
    SQLFreeStmt(statement, SQL_CLOSE);
    SQLFreeStmt(statement, SQL_RESET_PARAMS);
    if (!buffers_) buffers_.reset(new ParameterBuffers);
    buffers_->items.assign(parameters.size(), ParameterBuffers::Buffer{});
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const Parameter& p = parameters[i];
        ParameterBuffers::Buffer& b = buffers_->items[i];
        const auto number = static_cast<SQLUSMALLINT>(i + 1);
        const bool isNull = std::holds_alternative<std::monostate>(p.Data);
        b.indicator = isNull ? SQL_NULL_DATA : 0;
        SQLRETURN rc = SQL_SUCCESS;
        ValueType type = p.Type;
        // NOTE: the SQLite driver writes bound timestamp structures with milliseconds
        // ('2005-03-07 00:00:00.000'), which never equals a stored '2005-03-07 00:00:00';
        // SQLite warehouses keep dates as ISO text, so they are bound as that text.
        if (type == ValueType::Timestamp && DialectFor(engine_).KeepsDatesAsText()) {
            type = ValueType::Text;
            if (const auto* t = std::get_if<Timestamp>(&p.Data)) b.text = t->ToIsoText();
        }
        switch (type) {
            case ValueType::Text: {
                if (const auto* s = std::get_if<std::string>(&p.Data)) b.text = *s;
                if (!isNull) b.indicator = static_cast<SQLLEN>(b.text.size());
                const SQLULEN size = std::max<SQLULEN>(p.Size > 0 ? p.Size : b.text.size(), 1);
                rc = SQLBindParameter(statement, number, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                                      size, 0, b.text.data(), static_cast<SQLLEN>(b.text.size()),
                                      &b.indicator);
                break;
            }
            case ValueType::Integer:
                if (const auto* n = std::get_if<std::int64_t>(&p.Data)) b.integer = *n;
                if (const auto* d = std::get_if<double>(&p.Data))
                    b.integer = static_cast<std::int64_t>(*d);
                rc = SQLBindParameter(statement, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT,
                                      19, 0, &b.integer, 0, &b.indicator);
                break;
            case ValueType::Double:
                if (const auto* d = std::get_if<double>(&p.Data)) b.real = *d;
                if (const auto* n = std::get_if<std::int64_t>(&p.Data))
                    b.real = static_cast<double>(*n);
                rc = SQLBindParameter(statement, number, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE,
                                      15, 0, &b.real, 0, &b.indicator);
                break;
            case ValueType::Timestamp:
                if (const auto* t = std::get_if<Timestamp>(&p.Data)) {
                    b.timestamp.year = static_cast<SQLSMALLINT>(t->Year);
                    b.timestamp.month = static_cast<SQLUSMALLINT>(t->Month);
                    b.timestamp.day = static_cast<SQLUSMALLINT>(t->Day);
                    b.timestamp.hour = static_cast<SQLUSMALLINT>(t->Hour);
                    b.timestamp.minute = static_cast<SQLUSMALLINT>(t->Minute);
                    b.timestamp.second = static_cast<SQLUSMALLINT>(t->Second);
                    b.timestamp.fraction = static_cast<SQLUINTEGER>(t->Fraction);
                }
                rc = SQLBindParameter(statement, number, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP,
                                      SQL_TYPE_TIMESTAMP, 23, 3, &b.timestamp, 0, &b.indicator);
                break;
        }
        Check(rc, SQL_HANDLE_STMT, statement, sql_, "A parameter could not be bound.");
    }
}

void PreparedStatement::Run(const char* what) {
    SendStatement(sql_);
    SQLRETURN rc = SQL_SUCCESS;
    {
        NoteStatementSent();
        const Executing executing(statement_.get());
        rc = SQLExecute(statement_.get());
    }
    // NOTE: the SQLite driver answers an UPDATE or DELETE that touches no row, and
    // some queries, with SQL_NO_DATA.
    if (rc != SQL_NO_DATA) Check(rc, SQL_HANDLE_STMT, statement_.get(), sql_, what);
}

std::int64_t PreparedStatement::Execute(const std::vector<Parameter>& parameters) {
    Bind(parameters);
    Run("The statement failed.");
    SQLLEN count = 0;
    if (!Succeeded(SQLRowCount(statement_.get(), &count)) || count < 0) count = 0;
    SQLFreeStmt(statement_.get(), SQL_CLOSE);
    return count;
}

Result PreparedStatement::Query(const std::vector<Parameter>& parameters) {
    Bind(parameters);
    Run("The query failed.");
    return Result(statement_.get(), sql_);
}

// ---------------------------------------------------------------- Connection

Connection::Connection(ConnectionHandle handle, Engine engine)
    : connection_(std::move(handle)), engine_(engine) {}

Connection Connection::Open(const std::string& connectionString, Engine engine,
                            ConnectionTarget target) {
    SQLHDBC handle = SQL_NULL_HDBC;
    SQLHENV env = OdbcEnvironment();
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env, &handle)))
        Fail(SQL_HANDLE_ENV, env, "", "The connection handle could not be allocated.");
    Connection connection(ConnectionHandle(handle), engine);
    connection.connectionString_ = connectionString;
    connection.target_ = std::move(target);
    connection.defaultDatabase_ = connection.target_.Database;
    connection.Reopen();
    return connection;
}

void Connection::Reopen() {
    if (open_) return;
    // NOTE: FreeTDS hangs for ever on a server that accepts the connection but never
    // answers unless the login time-out is set before connecting.
    const auto timeout = static_cast<SQLULEN>(target_.LoginTimeoutSeconds);
    SQLSetConnectAttr(connection_.get(), SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(timeout), 0);
    SQLCHAR out[2048];
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc =
        SQLDriverConnect(connection_.get(), nullptr, Chars(connectionString_), SQL_NTS, out,
                         sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
    if (!Succeeded(rc))
        Fail(SQL_HANDLE_DBC, connection_.get(), "", "The connection could not be opened.");
    open_ = true;
    if (Dialect().SelectsDatabaseByCatalog() && !defaultDatabase_.empty())
        SetDefaultDatabase(defaultDatabase_);
}

void Connection::Close() {
    if (connection_ && open_) {
        SQLDisconnect(connection_.get());
        open_ = false;
    }
}

const SqlDialect& Connection::Dialect() const {
    return DialectFor(engine_);
}

StatementHandle Connection::NewStatement(int timeoutSeconds) {
    if (!IsOpen()) throw std::runtime_error("Operation is not allowed when the object is closed.");
    SQLHSTMT statement = SQL_NULL_HSTMT;
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, connection_.get(), &statement)))
        Fail(SQL_HANDLE_DBC, connection_.get(), "", "A statement handle could not be allocated.");
    // NOTE: the SQLite driver ignores the query time-out; it applies on SQL Server only.
    SQLSetStmtAttr(statement, SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(std::max(timeoutSeconds, 0))),
                   0);
    return StatementHandle(statement);
}

namespace {

// Sends one statement directly; false when the driver answered SQL_NO_DATA.
bool ExecuteDirect(SQLHSTMT statement, const std::string& sql, const char* what) {
    SendStatement(sql);
    SQLRETURN rc = SQL_SUCCESS;
    {
        NoteStatementSent();
        const Executing executing(statement);
        rc = SQLExecDirect(statement, Chars(sql), Length(sql));
    }
    if (rc == SQL_NO_DATA) return false;
    Check(rc, SQL_HANDLE_STMT, statement, sql, what);
    return true;
}

}  // namespace

std::int64_t Connection::Execute(const std::string& sql, int timeoutSeconds) {
    const StatementHandle statement = NewStatement(timeoutSeconds);
    if (!ExecuteDirect(statement.get(), sql, "The statement failed.")) return 0;
    SQLLEN count = 0;
    if (!Succeeded(SQLRowCount(statement.get(), &count)) || count < 0) count = 0;
    return count;
}

namespace {

std::string CallText(const Command& command) {
    if (!command.StoredProcedure) return command.Text;
    std::string text = "{call " + command.Text;
    if (!command.Parameters.empty()) {
        text += "(";
        for (std::size_t i = 0; i < command.Parameters.size(); ++i) text += i ? ",?" : "?";
        text += ")";
    }
    return text + "}";
}

}  // namespace

std::int64_t Connection::Execute(const Command& command) {
    if (command.Parameters.empty() && !command.StoredProcedure)
        return Execute(command.Text, command.TimeoutSeconds);
    return Prepare(CallText(command), command.TimeoutSeconds).Execute(command.Parameters);
}

Result Connection::Query(const std::string& sql, int timeoutSeconds) {
    StatementHandle statement = NewStatement(timeoutSeconds);
    ExecuteDirect(statement.get(), sql, "The query failed.");
    return Result(std::move(statement), nullptr, sql);
}

Result Connection::Query(const Command& command) {
    if (command.Parameters.empty() && !command.StoredProcedure)
        return Query(command.Text, command.TimeoutSeconds);
    // The result owns the statement and the buffers bound to it.
    StatementHandle statement = NewStatement(command.TimeoutSeconds);
    const std::string sql = CallText(command);
    Check(SQLPrepare(statement.get(), Chars(sql), Length(sql)), SQL_HANDLE_STMT, statement.get(),
          sql, "The query could not be prepared.");
    PreparedStatement prepared(std::move(statement), sql, engine_);
    prepared.Bind(command.Parameters);
    prepared.Run("The query failed.");
    return Result(std::move(prepared.statement_), std::move(prepared.buffers_),
                  std::move(prepared.sql_));
}

PreparedStatement Connection::Prepare(const std::string& sql, int timeoutSeconds) {
    StatementHandle statement = NewStatement(timeoutSeconds);
    Check(SQLPrepare(statement.get(), Chars(sql), Length(sql)), SQL_HANDLE_STMT, statement.get(),
          sql, "The statement could not be prepared.");
    return PreparedStatement(std::move(statement), sql, engine_);
}

void Connection::SetAutocommit(bool on) {
    const SQLULEN value = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
    Check(SQLSetConnectAttr(connection_.get(), SQL_ATTR_AUTOCOMMIT,
                            reinterpret_cast<SQLPOINTER>(value), 0),
          SQL_HANDLE_DBC, connection_.get(), "", "The transaction mode could not be changed.");
}

void Connection::EndTransaction(bool commit) {
    SendStatement(commit ? "COMMIT" : "ROLLBACK");
    Check(SQLEndTran(SQL_HANDLE_DBC, connection_.get(), commit ? SQL_COMMIT : SQL_ROLLBACK),
          SQL_HANDLE_DBC, connection_.get(), "", "The transaction could not be ended.");
}

std::optional<std::string> Connection::Property(const std::string& name) const {
    if (name == "Data Source") return target_.Server;
    if (name == "Server Name") return serverName_;
    // Shown as the job history shows it: "SSPI" for Windows authentication.
    if (name == "Integrated Security") return target_.WindowsAuthentication ? "SSPI" : "";
    if (name == "User ID") return target_.UserName;
    if (name == "Password") return target_.Password;
    if (name == "Initial Catalog") return defaultDatabase_;
    if (name == "Connect Timeout") return std::to_string(target_.LoginTimeoutSeconds);
    return std::nullopt;
}

std::string Connection::DefaultDatabase() const {
    if (Dialect().SelectsDatabaseByCatalog() && IsOpen()) {
        SQLCHAR catalog[512] = {};
        SQLINTEGER length = 0;
        if (Succeeded(SQLGetConnectAttr(connection_.get(), SQL_ATTR_CURRENT_CATALOG, catalog,
                                        sizeof catalog, &length)))
            return reinterpret_cast<const char*>(catalog);
    }
    return defaultDatabase_;
}

void Connection::SetDefaultDatabase(const std::string& database) {
    if (Dialect().SelectsDatabaseByCatalog()) {
        Check(SQLSetConnectAttr(connection_.get(), SQL_ATTR_CURRENT_CATALOG, Chars(database),
                                Length(database)),
              SQL_HANDLE_DBC, connection_.get(), "", "The default database could not be set.");
    }
    defaultDatabase_ = database;
}

// ---------------------------------------------------------------- Transaction

Transaction::Transaction(Connection& connection, Start start) : connection_(connection) {
    TransactionTexts texts = connection_.Dialect().Transactions();
    const std::string& begin = start == Start::Deferred ? texts.DeferredBegin : texts.Begin;
    if (begin.empty())
        connection_.SetAutocommit(false);
    else
        connection_.Execute(begin);
    commitText_ = std::move(texts.Commit);
    rollbackText_ = std::move(texts.Rollback);
    active_ = true;
}

Transaction::~Transaction() {
    if (!active_) return;
    try {
        Rollback();
    } catch (...) {
        // A destructor never throws; the driver discards an unfinished transaction
        // when the connection closes.
    }
}

void Transaction::End(bool commit) {
    const std::string& text = commit ? commitText_ : rollbackText_;
    if (!text.empty()) {
        connection_.Execute(text);
        return;
    }
    connection_.EndTransaction(commit);
    connection_.SetAutocommit(true);
}

void Transaction::Commit() {
    if (!active_) return;
    try {
        End(true);
    } catch (...) {
        // A failed COMMIT can leave the transaction open; end it, so that later
        // statements on the connection do not run inside it and vanish with it.
        try {
            Rollback();
        } catch (...) {
        }
        throw;
    }
    active_ = false;
}

void Transaction::Rollback() {
    if (!active_) return;
    active_ = false;
    End(false);
}

}  // namespace varnel

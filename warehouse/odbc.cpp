#include "warehouse/odbc.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <mutex>
#include <utility>

#include "warehouse/run_hooks.h"
#include "warehouse/sql_dialect.h"
#include "warehouse/text.h"

namespace varnel {

namespace {

bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

bool IsFloating(SQLSMALLINT sqlType) {
    return sqlType == SQL_REAL || sqlType == SQL_FLOAT || sqlType == SQL_DOUBLE;
}

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

SQLINTEGER Length(const std::string& text) { return static_cast<SQLINTEGER>(text.size()); }

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

// Marks a statement as executing for as long as it lives.
class Executing {
public:
    explicit Executing(SQLHSTMT statement) {
        CancelState& state = Cancel();
        const std::lock_guard lock(state.Mutex);
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

}  // namespace

void RequestStatementCancel() noexcept { cancelRequests.fetch_add(1); }

void CancelRequestedStatement() {
    CancelState& state = Cancel();
    const std::lock_guard lock(state.Mutex);
    const unsigned requests = cancelRequests.load();
    const bool pending = requests != state.Settled;
    state.Settled = requests;
    if (pending && state.Allowed && state.Executing != SQL_NULL_HSTMT) SQLCancel(state.Executing);
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
        record.Text.assign(reinterpret_cast<const char*>(text.data()),
                           std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                                                 text.size() - 1));
        records.push_back(std::move(record));
    }
    return records;
}

// ---------------------------------------------------------------- Timestamp

std::string Timestamp::ToIsoText() const {
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", Year, Month, Day, Hour,
                  Minute, Second);
    std::string iso = text;
    if (Fraction > 0) {
        std::snprintf(text, sizeof text, ".%03d", Fraction / 1000000);
        iso += text;
    }
    return iso;
}

std::optional<Timestamp> Timestamp::FromIsoText(const std::string& text) {
    Timestamp t;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &t.Year, &t.Month, &t.Day, &consumed) != 3)
        return std::nullopt;
    if (static_cast<std::size_t>(consumed) < text.size()) {
        const char separator = text[static_cast<std::size_t>(consumed)];
        if (separator != ' ' && separator != 'T') return std::nullopt;
        int timeConsumed = 0;
        const char* time = text.c_str() + consumed + 1;
        if (std::sscanf(time, "%2d:%2d%n:%2d%n", &t.Hour, &t.Minute, &timeConsumed, &t.Second,
                        &timeConsumed) < 2)
            return std::nullopt;
        const char* rest = time + timeConsumed;
        if (*rest == '.') {
            int scale = 100000000;
            for (++rest; *rest >= '0' && *rest <= '9'; ++rest, scale /= 10)
                if (scale > 0) t.Fraction += (*rest - '0') * scale;
        }
    }
    if (t.Month < 1 || t.Month > 12 || t.Day < 1 || t.Day > 31 || t.Hour > 23 || t.Minute > 59 ||
        t.Second > 60)
        return std::nullopt;
    return t;
}

// ---------------------------------------------------------------- Environment

SQLHENV OdbcEnvironment() {
    static SQLHENV environment = [] {
        SQLHENV env = SQL_NULL_HENV;
        if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
            throw OdbcError({}, "", "The ODBC environment could not be allocated.");
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        return env;
    }();
    return environment;
}

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

Result::Result(SQLHSTMT statement, std::string sql, bool ownsStatement)
    : statement_(statement), ownsStatement_(ownsStatement), sql_(std::move(sql)) {
    try {
        Describe();
    } catch (...) {
        Close();  // a constructor that throws runs no destructor
        throw;
    }
}

Result::Result(Result&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)),
      ownsStatement_(other.ownsStatement_),
      sql_(std::move(other.sql_)),
      columns_(std::move(other.columns_)),
      row_(std::move(other.row_)),
      hasRow_(other.hasRow_),
      keepAlive_(std::move(other.keepAlive_)) {}

Result& Result::operator=(Result&& other) noexcept {
    if (this != &other) {
        Close();
        statement_ = std::exchange(other.statement_, nullptr);
        ownsStatement_ = other.ownsStatement_;
        sql_ = std::move(other.sql_);
        columns_ = std::move(other.columns_);
        row_ = std::move(other.row_);
        hasRow_ = other.hasRow_;
        keepAlive_ = std::move(other.keepAlive_);
    }
    return *this;
}

Result::~Result() { Close(); }

void Result::Close() {
    if (statement_ == SQL_NULL_HSTMT) return;
    if (ownsStatement_) {
        SQLFreeHandle(SQL_HANDLE_STMT, statement_);
    } else {
        SQLFreeStmt(statement_, SQL_CLOSE);
    }
    statement_ = SQL_NULL_HSTMT;
    hasRow_ = false;
    keepAlive_.reset();
}

void Result::Describe() {
    SQLSMALLINT count = 0;
    Check(SQLNumResultCols(statement_, &count), SQL_HANDLE_STMT, statement_, sql_,
          "The result's columns could not be described.");
    columns_.resize(static_cast<std::size_t>(count));
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
        SQLCHAR name[512] = {};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
        ColumnInfo& column = columns_[i - 1u];
        Check(SQLDescribeCol(statement_, i, name, sizeof name, &nameLength, &column.SqlType,
                             &column.Size, &column.Scale, &nullable),
              SQL_HANDLE_STMT, statement_, sql_, "A result column could not be described.");
        column.Name = reinterpret_cast<const char*>(name);
        column.Nullable = nullable != SQL_NO_NULLS;
    }
    row_.assign(columns_.size(), std::nullopt);
}

bool Result::Next() {
    if (statement_ == SQL_NULL_HSTMT) return false;
    SQLRETURN rc = SQL_SUCCESS;
    {
        const Executing executing(statement_);
        rc = SQLFetch(statement_);
    }
    if (rc == SQL_NO_DATA) {
        hasRow_ = false;
        return false;
    }
    Check(rc, SQL_HANDLE_STMT, statement_, sql_, "The next row could not be fetched.");
    // Every column is read in order as soon as the row arrives: drivers need not
    // allow SQLGetData out of order or twice for one column.
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const auto column = static_cast<SQLUSMALLINT>(i + 1);
        std::string value;
        char buffer[4096];
        SQLLEN indicator = 0;
        bool isNull = false;
        if (IsFloating(columns_[i].SqlType)) {
            // Drivers print doubles with 15 digits, which do not always read back as
            // the stored number; the shortest exact text does.
            double number = 0;
            rc = SQLGetData(statement_, column, SQL_C_DOUBLE, &number, 0, &indicator);
            Check(rc, SQL_HANDLE_STMT, statement_, sql_, "A value could not be read.");
            if (indicator == SQL_NULL_DATA) {
                row_[i].reset();
            } else {
                const auto written = std::to_chars(buffer, buffer + sizeof buffer, number);
                row_[i] = std::string(buffer, written.ptr);
            }
            continue;
        }
        for (;;) {
            rc = SQLGetData(statement_, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
            if (rc == SQL_NO_DATA) break;
            Check(rc, SQL_HANDLE_STMT, statement_, sql_, "A value could not be read.");
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
    const std::string wanted = LowerCase(name);
    for (std::size_t i = 0; i < columns_.size(); ++i)
        if (LowerCase(columns_[i].Name) == wanted) return i;
    throw std::runtime_error("Item cannot be found in the collection corresponding to the "
                             "requested name or ordinal: " + name);
}

bool Result::IsNull(std::size_t index) const { return !Get(index).has_value(); }

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

PreparedStatement::PreparedStatement(SQLHSTMT statement, std::string sql, Engine engine)
    : statement_(statement), sql_(std::move(sql)), engine_(engine) {}

PreparedStatement::PreparedStatement(PreparedStatement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)),
      sql_(std::move(other.sql_)),
      engine_(other.engine_),
      buffers_(std::move(other.buffers_)) {}

PreparedStatement& PreparedStatement::operator=(PreparedStatement&& other) noexcept {
    if (this != &other) {
        if (statement_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, statement_);
        statement_ = std::exchange(other.statement_, nullptr);
        sql_ = std::move(other.sql_);
        engine_ = other.engine_;
        buffers_ = std::move(other.buffers_);
    }
    return *this;
}

PreparedStatement::~PreparedStatement() {
    if (statement_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, statement_);
}

void PreparedStatement::Bind(const std::vector<Parameter>& parameters) {
    SQLFreeStmt(statement_, SQL_CLOSE);
    SQLFreeStmt(statement_, SQL_RESET_PARAMS);
    buffers_.assign(parameters.size(), Buffer{});
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const Parameter& p = parameters[i];
        Buffer& b = buffers_[i];
        const auto number = static_cast<SQLUSMALLINT>(i + 1);
        const bool isNull = std::holds_alternative<std::monostate>(p.Data);
        b.indicator = isNull ? SQL_NULL_DATA : 0;
        SQLRETURN rc = SQL_SUCCESS;
        ValueType type = p.Type;
        // NOTE: the SQLite driver writes bound timestamp structures with milliseconds
        // ('2005-03-07 00:00:00.000'), which never equals a stored '2005-03-07 00:00:00';
        // SQLite warehouses keep dates as ISO text, so they are bound as that text.
        if (type == ValueType::Timestamp && engine_ == Engine::Sqlite) {
            type = ValueType::Text;
            if (const auto* t = std::get_if<Timestamp>(&p.Data)) b.text = t->ToIsoText();
        }
        switch (type) {
            case ValueType::Text: {
                if (const auto* s = std::get_if<std::string>(&p.Data)) b.text = *s;
                if (!isNull) b.indicator = static_cast<SQLLEN>(b.text.size());
                const SQLULEN size =
                    std::max<SQLULEN>(p.Size > 0 ? p.Size : b.text.size(), 1);
                rc = SQLBindParameter(statement_, number, SQL_PARAM_INPUT, SQL_C_CHAR,
                                      SQL_VARCHAR, size, 0, b.text.data(),
                                      static_cast<SQLLEN>(b.text.size()), &b.indicator);
                break;
            }
            case ValueType::Integer:
                if (const auto* n = std::get_if<std::int64_t>(&p.Data)) b.integer = *n;
                if (const auto* d = std::get_if<double>(&p.Data))
                    b.integer = static_cast<std::int64_t>(*d);
                rc = SQLBindParameter(statement_, number, SQL_PARAM_INPUT, SQL_C_SBIGINT,
                                      SQL_BIGINT, 19, 0, &b.integer, 0, &b.indicator);
                break;
            case ValueType::Double:
                if (const auto* d = std::get_if<double>(&p.Data)) b.real = *d;
                if (const auto* n = std::get_if<std::int64_t>(&p.Data))
                    b.real = static_cast<double>(*n);
                rc = SQLBindParameter(statement_, number, SQL_PARAM_INPUT, SQL_C_DOUBLE,
                                      SQL_DOUBLE, 15, 0, &b.real, 0, &b.indicator);
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
                rc = SQLBindParameter(statement_, number, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP,
                                      SQL_TYPE_TIMESTAMP, 23, 3, &b.timestamp, 0, &b.indicator);
                break;
        }
        Check(rc, SQL_HANDLE_STMT, statement_, sql_, "A parameter could not be bound.");
    }
}

std::int64_t PreparedStatement::Execute(const std::vector<Parameter>& parameters) {
    Bind(parameters);
    SQLRETURN rc = SQL_SUCCESS;
    {
        NoteStatementSent();
        const Executing executing(statement_);
        rc = SQLExecute(statement_);
    }
    // NOTE: the SQLite driver answers an UPDATE or DELETE that touches no row with
    // SQL_NO_DATA: a success with count 0.
    if (rc == SQL_NO_DATA) return 0;
    Check(rc, SQL_HANDLE_STMT, statement_, sql_, "The statement failed.");
    SQLLEN count = 0;
    if (!Succeeded(SQLRowCount(statement_, &count)) || count < 0) count = 0;
    SQLFreeStmt(statement_, SQL_CLOSE);
    return count;
}

Result PreparedStatement::Query(const std::vector<Parameter>& parameters) {
    Bind(parameters);
    SQLRETURN rc = SQL_SUCCESS;
    {
        NoteStatementSent();
        const Executing executing(statement_);
        rc = SQLExecute(statement_);
    }
    if (rc != SQL_NO_DATA) Check(rc, SQL_HANDLE_STMT, statement_, sql_, "The query failed.");
    return Result(statement_, sql_, false);
}

// ---------------------------------------------------------------- Connection

Connection::Connection(SQLHDBC handle, Engine engine) : connection_(handle), engine_(engine) {}

Connection::Connection(Connection&& other) noexcept
    : connection_(std::exchange(other.connection_, nullptr)),
      engine_(other.engine_),
      open_(std::exchange(other.open_, false)),
      connectionString_(std::move(other.connectionString_)),
      loginTimeoutSeconds_(other.loginTimeoutSeconds_),
      properties_(std::move(other.properties_)) {}

Connection& Connection::operator=(Connection&& other) noexcept {
    if (this != &other) {
        Close();
        if (connection_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, connection_);
        connection_ = std::exchange(other.connection_, nullptr);
        engine_ = other.engine_;
        open_ = std::exchange(other.open_, false);
        connectionString_ = std::move(other.connectionString_);
        loginTimeoutSeconds_ = other.loginTimeoutSeconds_;
        properties_ = std::move(other.properties_);
    }
    return *this;
}

Connection::~Connection() {
    Close();
    if (connection_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, connection_);
}

Connection Connection::Open(const std::string& connectionString, Engine engine,
                            int loginTimeoutSeconds) {
    SQLHDBC handle = SQL_NULL_HDBC;
    SQLHENV env = OdbcEnvironment();
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env, &handle)))
        Fail(SQL_HANDLE_ENV, env, "", "The connection handle could not be allocated.");
    Connection connection(handle, engine);  // frees the handle if anything below throws
    connection.connectionString_ = connectionString;
    connection.loginTimeoutSeconds_ = loginTimeoutSeconds;
    connection.Reopen();
    return connection;
}

void Connection::Reopen() {
    if (open_) return;
    // NOTE: FreeTDS hangs for ever on a server that accepts the connection but never
    // answers unless the login time-out is set before connecting.
    const auto timeout = static_cast<SQLULEN>(loginTimeoutSeconds_);
    SQLSetConnectAttr(connection_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(timeout), 0);
    SQLCHAR out[2048];
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc =
        SQLDriverConnect(connection_, nullptr, Chars(connectionString_), SQL_NTS, out, sizeof out,
                         &outLength, SQL_DRIVER_NOPROMPT);
    if (!Succeeded(rc))
        Fail(SQL_HANDLE_DBC, connection_, "", "The connection could not be opened.");
    open_ = true;
    if (engine_ == Engine::SqlServer) {
        const auto database = properties_.find("Initial Catalog");
        if (database != properties_.end() && !database->second.empty())
            SetDefaultDatabase(database->second);
    }
}

void Connection::Close() {
    if (connection_ != SQL_NULL_HDBC && open_) {
        SQLDisconnect(connection_);
        open_ = false;
    }
}

const SqlDialect& Connection::Dialect() const { return DialectFor(engine_); }

SQLHSTMT Connection::NewStatement(int timeoutSeconds) {
    if (!IsOpen())
        throw std::runtime_error("Operation is not allowed when the object is closed.");
    SQLHSTMT statement = SQL_NULL_HSTMT;
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, connection_, &statement)))
        Fail(SQL_HANDLE_DBC, connection_, "", "A statement handle could not be allocated.");
    // NOTE: the SQLite driver ignores the query time-out; it applies on SQL Server only.
    SQLSetStmtAttr(statement, SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(std::max(timeoutSeconds, 0))),
                   0);
    return statement;
}

std::int64_t Connection::Execute(const std::string& sql, int timeoutSeconds) {
    SQLHSTMT statement = NewStatement(timeoutSeconds);
    struct Free {
        SQLHSTMT s;
        ~Free() { SQLFreeHandle(SQL_HANDLE_STMT, s); }
    } guard{statement};
    SQLRETURN rc = SQL_SUCCESS;
    {
        NoteStatementSent();
        const Executing executing(statement);
        rc = SQLExecDirect(statement, Chars(sql), Length(sql));
    }
    if (rc == SQL_NO_DATA) return 0;
    Check(rc, SQL_HANDLE_STMT, statement, sql, "The statement failed.");
    SQLLEN count = 0;
    if (!Succeeded(SQLRowCount(statement, &count)) || count < 0) count = 0;
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
    SQLHSTMT statement = NewStatement(timeoutSeconds);
    SQLRETURN rc = SQL_SUCCESS;
    {
        NoteStatementSent();
        const Executing executing(statement);
        rc = SQLExecDirect(statement, Chars(sql), Length(sql));
    }
    if (rc != SQL_NO_DATA && !Succeeded(rc)) {
        auto records = CollectDiagnostics(SQL_HANDLE_STMT, statement);
        SQLFreeHandle(SQL_HANDLE_STMT, statement);
        throw OdbcError(std::move(records), sql, "The query failed.");
    }
    return Result(statement, sql, true);
}

Result Connection::Query(const Command& command) {
    if (command.Parameters.empty() && !command.StoredProcedure)
        return Query(command.Text, command.TimeoutSeconds);
    // The result owns the statement: build it on a fresh handle.
    SQLHSTMT statement = NewStatement(command.TimeoutSeconds);
    const std::string sql = CallText(command);
    const SQLRETURN rc = SQLPrepare(statement, Chars(sql), Length(sql));
    if (!Succeeded(rc)) {
        auto records = CollectDiagnostics(SQL_HANDLE_STMT, statement);
        SQLFreeHandle(SQL_HANDLE_STMT, statement);
        throw OdbcError(std::move(records), sql, "The query could not be prepared.");
    }
    auto prepared = std::make_shared<PreparedStatement>(PreparedStatement(statement, sql, engine_));
    Result result = prepared->Query(command.Parameters);
    result.keepAlive_ = std::move(prepared);
    return result;
}

PreparedStatement Connection::Prepare(const std::string& sql, int timeoutSeconds) {
    SQLHSTMT statement = NewStatement(timeoutSeconds);
    const SQLRETURN rc = SQLPrepare(statement, Chars(sql), Length(sql));
    if (!Succeeded(rc)) {
        auto records = CollectDiagnostics(SQL_HANDLE_STMT, statement);
        SQLFreeHandle(SQL_HANDLE_STMT, statement);
        throw OdbcError(std::move(records), sql, "The statement could not be prepared.");
    }
    return PreparedStatement(statement, sql, engine_);
}

void Connection::SetAutocommit(bool on) {
    const SQLULEN value = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
    Check(SQLSetConnectAttr(connection_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(value),
                            0),
          SQL_HANDLE_DBC, connection_, "", "The transaction mode could not be changed.");
}

void Connection::EndTransaction(bool commit) {
    Check(SQLEndTran(SQL_HANDLE_DBC, connection_, commit ? SQL_COMMIT : SQL_ROLLBACK),
          SQL_HANDLE_DBC, connection_, "", "The transaction could not be ended.");
}

std::optional<std::string> Connection::Property(const std::string& name) const {
    const auto found = properties_.find(name);
    if (found == properties_.end()) return std::nullopt;
    return found->second;
}

void Connection::SetProperty(const std::string& name, std::string value) {
    properties_[name] = std::move(value);
}

std::string Connection::DefaultDatabase() const {
    if (engine_ == Engine::SqlServer && IsOpen()) {
        SQLCHAR catalog[512] = {};
        SQLINTEGER length = 0;
        if (Succeeded(SQLGetConnectAttr(connection_, SQL_ATTR_CURRENT_CATALOG, catalog,
                                        sizeof catalog, &length)))
            return reinterpret_cast<const char*>(catalog);
    }
    return Property("Initial Catalog").value_or("");
}

void Connection::SetDefaultDatabase(const std::string& database) {
    if (engine_ == Engine::SqlServer) {
        Check(SQLSetConnectAttr(connection_, SQL_ATTR_CURRENT_CATALOG, Chars(database),
                                Length(database)),
              SQL_HANDLE_DBC, connection_, "", "The default database could not be set.");
    }
    SetProperty("Initial Catalog", database);
}

// ---------------------------------------------------------------- Transaction

Transaction::Transaction(Connection& connection) : connection_(connection) {
    connection_.Dialect().BeginTransaction(connection_);
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

void Transaction::Commit() {
    if (!active_) return;
    try {
        connection_.Dialect().CommitTransaction(connection_);
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
    connection_.Dialect().RollbackTransaction(connection_);
}

}  // namespace varnel

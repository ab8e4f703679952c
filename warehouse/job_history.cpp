#include "warehouse/job_history.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>
#include <vector>

#include "base/clock.h"
#include "base/current_user.h"
#include "base/environment.h"
#include "warehouse/connector.h"

namespace varnel {

namespace {

constexpr int kLoginTimeoutSeconds = 30;

constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS job_history ("
    "id INTEGER PRIMARY KEY, "
    "entry_kind INTEGER NOT NULL, "
    "application TEXT NOT NULL, "
    "category TEXT NOT NULL, "
    "written_at TEXT NOT NULL, "
    "server_name TEXT, "
    "database_name TEXT, "
    "table_name TEXT, "
    "user_name TEXT, "
    "archive_server_name TEXT, "
    "archive_database_name TEXT, "
    "archive_table_name TEXT, "
    "archive_user_name TEXT, "
    "remark TEXT, "
    "status INTEGER, "
    "message TEXT, "
    "log_file TEXT, "
    "start_time TEXT, "
    "end_time TEXT, "
    "record_count REAL, "
    "count_unit TEXT, "
    "job_id TEXT)";

constexpr const char* kInsert =
    "INSERT INTO job_history (entry_kind, application, category, written_at, server_name, "
    "database_name, table_name, user_name, archive_server_name, archive_database_name, "
    "archive_table_name, archive_user_name, remark, status, message, log_file, start_time, "
    "end_time, record_count, count_unit, job_id) "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

Parameter Text(const char* name, const std::string& value) {
    return Parameter{name, ValueType::Text, 0, 0, 0, value};
}

Parameter Date(const char* name, const std::optional<Timestamp>& value) {
    Parameter parameter{name, ValueType::Text, 0, 0, 0, std::monostate{}};
    if (value) parameter.Data = value->ToIsoText();
    return parameter;
}

std::runtime_error StoreError(const std::string& path, const std::string& reason) {
    return std::runtime_error("The job history could not be written to '" + path + "': " + reason);
}

}  // namespace

std::string JobHistoryPath() {
    const std::string configured = EnvironmentValue("VARNEL_HISTORY");
    if (!configured.empty()) return configured;
    std::filesystem::path dataHome = EnvironmentValue("XDG_DATA_HOME");
    if (dataHome.empty()) dataHome = std::filesystem::path(CurrentUserHome()) / ".local" / "share";
    return (dataHome / "varnel" / "job_history.db").string();
}

struct JobHistoryRecord::Store {
    // Declared before the statement so that the statement is freed first.
    std::unique_ptr<Connection> connection;
    std::optional<PreparedStatement> insert;
};

JobHistoryRecord::JobHistoryRecord(std::string storePath) : storePath_(std::move(storePath)) {}

JobHistoryRecord::~JobHistoryRecord() = default;

JobHistoryRecord::JobHistoryRecord(JobHistoryRecord&&) noexcept = default;

JobHistoryRecord& JobHistoryRecord::operator=(JobHistoryRecord&&) noexcept = default;

std::string JobHistoryRecord::CurrentUser() const {
    return CurrentUserName();
}

std::string JobHistoryRecord::LoginOf(const Connection& connection) const {
    // A SQLite file has no login: whoever runs the tool works on it.
    if (connection.Target().WindowsAuthentication || connection.GetEngine() == Engine::Sqlite)
        return CurrentUser();
    return connection.Target().UserName;
}

void JobHistoryRecord::DescribeWarehouse(const Connection& connection) {
    ServerName = connection.Property("Server Name").value_or("");
    DatabaseName = connection.DefaultDatabase();
    UserName = LoginOf(connection);
}

void JobHistoryRecord::Open() {
    if (storePath_.empty()) throw StoreError(storePath_, "no path was given.");
    const std::filesystem::path path(storePath_);
    try {
        if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    } catch (const std::filesystem::filesystem_error& error) {
        throw StoreError(storePath_,
                         "its folder cannot be created (" + error.code().message() + ").");
    }
    // The connector opens existing files only, and an empty file is a valid database.
    // Appending creates the file without touching one that another process has filled.
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored))
        throw StoreError(storePath_, "it is a folder, not a file.");
    if (!std::filesystem::exists(path, ignored)) {
        std::ofstream file(path, std::ios::binary | std::ios::app);
        if (!file) throw StoreError(storePath_, "the file cannot be created.");
    }

    Connector connector;
    connector.Server = "sqlite";
    connector.Database = storePath_;
    connector.EmptyFile = NewFile::Allowed;
    std::unique_ptr<Connection> connection;
    try {
        connection = connector.Connect(kLoginTimeoutSeconds);
    } catch (const OdbcError& error) {
        throw StoreError(storePath_, error.what());
    }
    connection->Execute(kCreateTable);
    auto store = std::make_unique<Store>();
    store->insert.emplace(connection->Prepare(kInsert));
    store->connection = std::move(connection);
    store_ = std::move(store);
}

void JobHistoryRecord::WriteEntry(int entryKind, const std::string& application,
                                  const std::string& category) {
    try {
        if (!store_) Open();
        // Each entry is its own autocommitted statement, so another process writing
        // to the same store waits for the file lock at most for one insert.
        store_->insert->Execute({
            Parameter{"entry_kind", ValueType::Integer, 0, 0, 0, std::int64_t{entryKind}},
            Text("application", application),
            Text("category", category),
            Text("written_at", SystemNow().ToIsoText()),
            Text("server_name", ServerName),
            Text("database_name", DatabaseName),
            Text("table_name", TableName),
            Text("user_name", UserName),
            Text("archive_server_name", ArchiveServerName),
            Text("archive_database_name", ArchiveDatabaseName),
            Text("archive_table_name", ArchiveTableName),
            Text("archive_user_name", ArchiveUserName),
            Text("remark", Remark),
            Parameter{"status", ValueType::Integer, 0, 0, 0, std::int64_t{Status}},
            Text("message", Message),
            Text("log_file", LogFile),
            Date("start_time", StartTime),
            Date("end_time", EndTime),
            Parameter{"record_count", ValueType::Double, 0, 0, 0, RecordCount},
            Text("count_unit", CountUnit),
            Text("job_id", JobId),
        });
    } catch (const OdbcError& error) {
        // A broken connection is not reused; the next entry opens the store afresh.
        store_.reset();
        throw StoreError(storePath_, error.what());
    }
}

}  // namespace varnel

#include "warehouse/connector.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "base/environment.h"
#include "base/text.h"

namespace varnel {

namespace {

// Server and database names lose tabs at their ends as well as spaces.
std::string Trim(std::string_view text) {
    return TrimBlanks(text, " \t");
}

// A missing SQLite busy time-out makes the driver wait 200 s for a locked file.
// NOTE: the driver's real wait is about twice the value given.
constexpr int kSqliteBusyTimeoutMs = 10000;

std::string SqliteDriverName() {
    const std::string configured = EnvironmentValue("VARNEL_SQLITE_DRIVER");
    if (!configured.empty()) return configured;
    // NOTE: Debian registers the driver as "SQLite3"; its "SQLite" entry points at a
    // library that is not installed. Without any entry the library's file name works.
    for (const auto& name : InstalledOdbcDrivers())
        if (name == "SQLite3") return name;
    return "libsqlite3odbc.so";
}

bool MentionsTdsVersion(const std::string& options) {
    return LowerCase(options).find("tds_version") != std::string::npos;
}

}  // namespace

bool IsSqliteServer(const std::string& server) {
    return LowerCase(Trim(server)) == "sqlite";
}

std::string ConnectionStringValue(const std::string& value) {
    std::string escaped = "{";
    for (const char c : value) {
        escaped += c;
        if (c == '}') escaped += '}';
    }
    return escaped + "}";
}

std::string SqlServerDriverName() {
    const std::string configured = EnvironmentValue("VARNEL_ODBC_DRIVER");
    if (!configured.empty()) return configured;
    const auto installed = InstalledOdbcDrivers();
    for (const char* candidate :
         {"ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server", "FreeTDS"}) {
        if (std::find(installed.begin(), installed.end(), candidate) != installed.end())
            return candidate;
    }
    return "FreeTDS";
}

Engine Connector::TargetEngine() const {
    return IsSqliteServer(Server) ? Engine::Sqlite : Engine::SqlServer;
}

std::string Connector::ConnectionString() const {
    if (TargetEngine() == Engine::Sqlite) {
        // NOTE: the SQLite driver refuses a braced database value, so the path goes in
        // bare; NoCreat=1 keeps a mistyped path from creating an empty warehouse;
        // StepAPI=1 fetches rows one by one instead of loading whole results; WAL lets
        // a reading cursor and a writing transaction on two connections work side by side.
        return "Driver=" + SqliteDriverName() + ";Database=" + Database +
               ";NoCreat=1;JournalMode=WAL;StepAPI=1;Timeout=" +
               std::to_string(kSqliteBusyTimeoutMs) + ";";
    }
    const std::string driver = SqlServerDriverName();
    const bool freeTds = LowerCase(driver).find("freetds") != std::string::npos ||
                         LowerCase(driver).find("tdsodbc") != std::string::npos;
    const std::string options = EnvironmentValue("VARNEL_ODBC_OPTIONS");
    std::string text = "Driver=" + ConnectionStringValue(driver) + ";";
    std::string host = Trim(Server);
    const auto comma = host.find(',');
    if (freeTds && comma != std::string::npos) {
        // FreeTDS takes the port as an attribute of its own.
        text += "Server=" + ConnectionStringValue(Trim(host.substr(0, comma))) + ";";
        text += "Port=" + ConnectionStringValue(Trim(host.substr(comma + 1))) + ";";
    } else {
        text += "Server=" + ConnectionStringValue(host) + ";";
    }
    if (!Trim(Database).empty()) text += "Database=" + ConnectionStringValue(Database) + ";";
    if (WindowsAuth) {
        text += "Trusted_Connection=yes;";
    } else {
        text += "UID=" + ConnectionStringValue(UserName) + ";";
        text += "PWD=" + ConnectionStringValue(Password) + ";";
    }
    // NOTE: the tasks keep a result open while they send further statements on the
    // same connection, which SQL Server refuses without multiple active result sets.
    text += "MARS_Connection=yes;";
    // NOTE: without a fixed protocol version FreeTDS hangs on a server that accepts the
    // connection but never answers, whatever the login time-out.
    if (freeTds && !MentionsTdsVersion(options)) text += "TDS_Version=7.4;";
    if (!options.empty()) {
        text += options;
        if (options.back() != ';') text += ";";
    }
    return text;
}

namespace {

[[noreturn]] void Refuse(const std::string& reason) {
    throw OdbcError({}, "", reason);
}

// Looked at before the driver opens the file, which would write its own tables into an
// empty one. NOTE: only stat, never open and close: closing any descriptor of the file
// would drop the locks that this process's connections hold on it.
void RefuseEmptyFile(const std::string& path, NewFile emptyFile) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > 0 || emptyFile == NewFile::Allowed) return;
    Refuse("The SQLite database file '" + path +
           "' is empty (0 bytes): it is not a warehouse. Nothing was written to it.");
}

// SQLite reads the header before anything else and refuses a file that is not a
// database (SQLITE_NOTADB) without writing to it; the engine's own check is asked.
void RefuseNonDatabase(Connection& connection, const std::string& path) {
    constexpr int kSqliteNotADatabase = 26;
    try {
        connection.Query("PRAGMA schema_version").Next();
    } catch (const OdbcError& error) {
        for (const auto& record : error.Records())
            if (record.NativeCode == kSqliteNotADatabase)
                Refuse("The file '" + path +
                       "' is not a SQLite database: it does not start with the SQLite header. "
                       "Nothing was written to it.");
        throw;
    }
}

}  // namespace

std::unique_ptr<Connection> Connector::Connect(int loginTimeoutSeconds) {
    const Engine engine = TargetEngine();
    if (engine == Engine::Sqlite) {
        if (Database.find_first_of(";{}") != std::string::npos)
            Refuse("The SQLite database path '" + Database +
                   "' holds ';', '{' or '}', which the SQLite driver "
                   "cannot take. Rename the file or its folder.");
        std::error_code ec;
        if (Trim(Database).empty()) Refuse("No SQLite database file was given.");
        if (!std::filesystem::is_regular_file(Database, ec))
            Refuse("The SQLite database file '" + Database + "' does not exist.");
        RefuseEmptyFile(Database, EmptyFile);
    }
    ConnectionTarget target{Server, Database, WindowsAuth, UserName, Password, loginTimeoutSeconds};
    auto connection = std::make_unique<Connection>(
        Connection::Open(ConnectionString(), engine, std::move(target)));
    if (engine == Engine::Sqlite) {
        RefuseNonDatabase(*connection, Database);
        connection->SetServerName("sqlite");
    } else {
        // The server's own name is what a linked server is known by; the name as
        // typed may differ.
        auto result = connection->Query("SELECT @@SERVERNAME");
        std::string name = Server;
        if (result.Next() && result.Get(0)) name = *result.Get(0);
        connection->SetServerName(name);
    }
    return connection;
}

bool OpenWarehouseConnection(const std::string& server, const std::string& database,
                             bool windowsAuth, const std::string& user, const std::string& password,
                             std::unique_ptr<Connection>& connection, std::string& messageText,
                             int loginTimeoutSeconds, NewFile emptyFile) {
    Connector connector;
    connector.EmptyFile = emptyFile;
    connector.Server = server;
    connector.Database = database;
    connector.UserName = user;
    connector.Password = password;
    connector.WindowsAuth = windowsAuth;
    try {
        connection = connector.Connect(loginTimeoutSeconds);
        return true;
    } catch (const std::exception& error) {
        connection.reset();
        messageText = "Error while connecting to : " + server;
        const auto* odbc = dynamic_cast<const OdbcError*>(&error);
        if (!odbc || odbc->Records().empty()) messageText += "\r\n" + std::string(error.what());
        if (odbc)
            for (const auto& record : odbc->Records()) messageText += "\r\n" + record.Text;
        return false;
    }
}

std::unique_ptr<Connection> OpenSecondConnection(const Connection& original) {
    const ConnectionTarget& target = original.Target();
    Connector connector;
    // The file was looked at when the first connection opened it.
    connector.EmptyFile = NewFile::Allowed;
    connector.Server = target.Server;
    connector.Database = original.DefaultDatabase();
    connector.WindowsAuth = target.WindowsAuthentication;
    if (!target.WindowsAuthentication) {
        connector.UserName = target.UserName;
        connector.Password = target.Password;
    }
    auto connection = connector.Connect(target.LoginTimeoutSeconds);
    connection->SetDefaultDatabase(connector.Database);
    return connection;
}

}  // namespace varnel

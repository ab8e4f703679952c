#pragma once

#include <memory>
#include <string>

#include "warehouse/odbc.h"

namespace varnel {

//! Whether a SQLite file of 0 bytes may be opened: only a new archive starts so; a
//! warehouse never does, and an empty file there is a failed copy, not a warehouse.
enum class NewFile { Refused, Allowed };

inline constexpr int kDefaultLoginTimeoutSeconds = 60;

//! Opens connections to a warehouse or an archive. The server text "sqlite"
//! (any case) selects the embedded engine and makes the database text the path
//! of an existing SQLite file; any other server is a SQL Server machine.
class Connector {
  public:
    std::string Server;
    std::string Database;
    std::string UserName;
    std::string Password;
    bool WindowsAuth = false;
    NewFile EmptyFile = NewFile::Refused;

    //! An open connection; throws OdbcError, with the driver's diagnostics or, when
    //! there are none (a SQLite file that is missing), one line that says why.
    std::unique_ptr<Connection> Connect(int loginTimeoutSeconds);

    //! The ODBC connection string for these fields (the driver name resolved).
    std::string ConnectionString() const;
    Engine TargetEngine() const;
};

//! True when the server text names the embedded engine.
bool IsSqliteServer(const std::string& server);

//! A value as a connection string takes it: in braces with '}' doubled, so a
//! value holding ';' or '}' cannot add attributes.
std::string ConnectionStringValue(const std::string& value);

//! The SQL Server driver to use: $VARNEL_ODBC_DRIVER, else the first installed of
//! "ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server", "FreeTDS".
std::string SqlServerDriverName();

//! Opens a connection and reports a failure as the message text:
//! "Error while connecting to : " + server, then one CR LF + text per driver
//! diagnostic. The message text is replaced, not appended to.
bool OpenWarehouseConnection(const std::string& server, const std::string& database,
                             bool windowsAuth, const std::string& user, const std::string& password,
                             std::unique_ptr<Connection>& connection, std::string& messageText,
                             int loginTimeoutSeconds = kDefaultLoginTimeoutSeconds,
                             NewFile emptyFile = NewFile::Refused);

//! A second, independent connection to the same server and database as an open
//! one (its current default database), made from the target it was opened to with
//! the same time-out; throws OdbcError on failure.
std::unique_ptr<Connection> OpenSecondConnection(const Connection& original);

}  // namespace varnel

// Connecting to SQL Server targets through FreeTDS where no server answers, and
// the connection strings that the connector builds.

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/support/scoped_env.h"
#include "warehouse/connector.h"

namespace varnel {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using Clock = std::chrono::steady_clock;

using testing::ScopedEnv;

//! A TCP listener on loopback that takes connections and never says a word.
class SilentServer {
  public:
    SilentServer() {
        socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(socket_, 8);
        socklen_t length = sizeof address;
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~SilentServer() { ::close(socket_); }
    int Port() const { return port_; }

  private:
    int socket_ = -1;
    int port_ = 0;
};

TEST(SqlServerConnectTest, ClosedPortFailsWithinSecondsWithOneLinePerDiagnostic) {
    ScopedEnv driver("VARNEL_ODBC_DRIVER", "FreeTDS");
    std::unique_ptr<Connection> connection;
    std::string message = "replaced";
    const auto start = Clock::now();
    EXPECT_FALSE(
        OpenWarehouseConnection("127.0.0.1", "dw", false, "sa", "pw", connection, message));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(connection, nullptr);
    EXPECT_THAT(message, StartsWith("Error while connecting to : 127.0.0.1\r\n"));
    EXPECT_THAT(message, HasSubstr("Unable to connect"));
    // At least two diagnostics, each on its own line after the first.
    const auto lines = std::count(message.begin(), message.end(), '\n');
    EXPECT_GE(lines, 2);
}

TEST(SqlServerConnectTest, ServerThatNeverAnswersFailsAfterTheLoginTimeout) {
    ScopedEnv driver("VARNEL_ODBC_DRIVER", "FreeTDS");
    SilentServer server;
    const std::string target = "127.0.0.1," + std::to_string(server.Port());
    std::unique_ptr<Connection> connection;
    std::string message;
    const auto start = Clock::now();
    EXPECT_FALSE(OpenWarehouseConnection(target, "dw", false, "sa", "pw", connection, message, 2));
    const auto elapsed = Clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::seconds(30));
    EXPECT_THAT(message, StartsWith("Error while connecting to : " + target + "\r\n"));
}

TEST(ConnectionStringTest, ValuesAreBracedSoTheyCannotAddAttributes) {
    ScopedEnv driver("VARNEL_ODBC_DRIVER", "ODBC Driver 18 for SQL Server");
    ScopedEnv options("VARNEL_ODBC_OPTIONS", nullptr);
    Connector connector;
    connector.Server = "dwhost\\prod";
    connector.Database = "Sales DW";
    connector.UserName = "etl";
    connector.Password = "a;b}c;Trusted_Connection=yes";
    EXPECT_EQ(connector.ConnectionString(),
              "Driver={ODBC Driver 18 for SQL Server};Server={dwhost\\prod};Database={Sales DW};"
              "UID={etl};PWD={a;b}}c;Trusted_Connection=yes};MARS_Connection=yes;");
    EXPECT_EQ(connector.TargetEngine(), Engine::SqlServer);
}

TEST(ConnectionStringTest, WindowsAuthenticationAndExtraOptions) {
    ScopedEnv driver("VARNEL_ODBC_DRIVER", "ODBC Driver 17 for SQL Server");
    ScopedEnv options("VARNEL_ODBC_OPTIONS", "Encrypt=no");
    Connector connector;
    connector.Server = "dwhost";
    connector.Database = "dw";
    connector.UserName = "ignored";
    connector.WindowsAuth = true;
    EXPECT_EQ(connector.ConnectionString(),
              "Driver={ODBC Driver 17 for SQL Server};Server={dwhost};Database={dw};"
              "Trusted_Connection=yes;MARS_Connection=yes;Encrypt=no;");
}

TEST(ConnectionStringTest, FreeTdsGetsAPortAttributeAndAFixedProtocolVersion) {
    ScopedEnv driver("VARNEL_ODBC_DRIVER", "FreeTDS");
    ScopedEnv options("VARNEL_ODBC_OPTIONS", nullptr);
    Connector connector;
    connector.Server = "10.1.2.3,1444";
    connector.Database = "dw";
    connector.UserName = "sa";
    connector.Password = "pw";
    EXPECT_EQ(connector.ConnectionString(),
              "Driver={FreeTDS};Server={10.1.2.3};Port={1444};Database={dw};UID={sa};PWD={pw};"
              "MARS_Connection=yes;TDS_Version=7.4;");
    ScopedEnv version("VARNEL_ODBC_OPTIONS", "TDS_Version=7.3");
    EXPECT_THAT(connector.ConnectionString(), Not(HasSubstr("7.4")));
    EXPECT_THAT(connector.ConnectionString(), HasSubstr("TDS_Version=7.3;"));
}

TEST(ConnectionStringTest, SqliteIsChosenByTheServerTextInAnyCase) {
    EXPECT_TRUE(IsSqliteServer("sqlite"));
    EXPECT_TRUE(IsSqliteServer(" SQLite "));
    EXPECT_FALSE(IsSqliteServer("sqlite2"));
    Connector connector;
    connector.Server = "SQLITE";
    connector.Database = "/data/dw.db";
    EXPECT_THAT(connector.ConnectionString(), HasSubstr(";Database=/data/dw.db;NoCreat=1;"));
}

}  // namespace
}  // namespace varnel

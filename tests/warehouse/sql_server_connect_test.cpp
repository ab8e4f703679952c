// Connecting to a SQL Server target through FreeTDS where no server answers, and
// the connection strings that the connector builds.

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "tests/support/scoped_env.h"
#include "warehouse/connector.h"

namespace varnel {
namespace {

using ::testing::StartsWith;
using Clock = std::chrono::steady_clock;
using testing::ScopedEnv;

//! A TCP listener on loopback that takes connections and never says a word.
class SilentServer {
  public:
    SilentServer() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(socket_, 8);
        socklen_t length = sizeof address;
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~SilentServer() { ::close(socket_); }
    int Port() const { return port_; }

  private:
    int socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int port_ = 0;
};

TEST(SqlServerConnectTest, ASilentServerFailsWithinTheLoginTimeout) {
    ScopedEnv driver("VARNEL_ODBC_DRIVER", "FreeTDS");
    std::unique_ptr<Connection> connection;
    std::string message;
    SilentServer server;
    const std::string target = "127.0.0.1," + std::to_string(server.Port());
    const auto start = Clock::now();
    EXPECT_FALSE(OpenWarehouseConnection(target, "dw", false, "sa", "pw", connection, message, 2));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
    EXPECT_THAT(message, StartsWith("Error while connecting to : " + target + "\r\n"));
}

TEST(ConnectionStringTest, ValuesAreBracedAndEachDriverGetsItsAttributes) {
    const struct {
        const char *Driver, *Options, *Server, *Password;
        bool WindowsAuth;
        std::string Expected;
    } cases[] = {
        {"ODBC Driver 18 for SQL Server", nullptr, "dwhost\\prod", "a;b}c;Trusted_Connection=yes",
         false,
         "Driver={ODBC Driver 18 for SQL Server};Server={dwhost\\prod};Database={dw};"
         "UID={sa};PWD={a;b}}c;Trusted_Connection=yes};MARS_Connection=yes;"},
        {"ODBC Driver 17 for SQL Server", "Encrypt=no", "dwhost", "", true,
         "Driver={ODBC Driver 17 for SQL Server};Server={dwhost};Database={dw};"
         "Trusted_Connection=yes;MARS_Connection=yes;Encrypt=no;"},
        {"FreeTDS", nullptr, "10.1.2.3,1444", "pw", false,
         "Driver={FreeTDS};Server={10.1.2.3};Port={1444};Database={dw};UID={sa};PWD={pw};"
         "MARS_Connection=yes;TDS_Version=7.4;"},
    };
    for (const auto& c : cases) {
        ScopedEnv driver("VARNEL_ODBC_DRIVER", c.Driver);
        ScopedEnv options("VARNEL_ODBC_OPTIONS", c.Options);
        Connector connector;
        connector.Server = c.Server;
        connector.Database = "dw";
        connector.UserName = "sa";
        connector.Password = c.Password;
        connector.WindowsAuth = c.WindowsAuth;
        EXPECT_EQ(connector.ConnectionString(), c.Expected);
        EXPECT_EQ(connector.TargetEngine(), Engine::SqlServer);
    }
    EXPECT_TRUE(IsSqliteServer(" SQLite "));
    EXPECT_FALSE(IsSqliteServer("sqlite2"));
}

}  // namespace
}  // namespace varnel

// The connection strings that the connector builds for SQL Server targets.

#include <gtest/gtest.h>

#include "tests/support/scoped_env.h"
#include "warehouse/connector.h"

namespace varnel {
namespace {

using testing::ScopedEnv;

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
        const Connector connector{c.Server, "dw", "sa", c.Password, c.WindowsAuth};
        EXPECT_EQ(connector.ConnectionString(), c.Expected);
        EXPECT_EQ(connector.TargetEngine(), Engine::SqlServer);
    }
    EXPECT_TRUE(IsSqliteServer(" SQLite "));
    EXPECT_FALSE(IsSqliteServer("sqlite2"));
}

}  // namespace
}  // namespace varnel

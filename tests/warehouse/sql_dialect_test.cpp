// What each engine's dialect says where the engines differ: the texts the server
// receives exactly, and the SQLite catalog query against a real file.

#include "warehouse/sql_dialect.h"

#include <gtest/gtest.h>

#include "tests/support/sqlite_file.h"
#include "tests/support/temp_dir.h"

namespace varnel {
namespace {

const SqlServerDialect kSqlServer;
const SqliteDialect kSqlite;

TEST(SqlDialectTest, CompileOnlyStatementsAndTheirReset) {
    const std::string statement = "delete from fact_sales where sale_date < '2004-01-01'";
    const struct {
        const SqlDialect& Dialect;
        std::vector<std::string> Sent;
        std::string Reset;
    } cases[] = {
        {kSqlServer, {"Set NOEXEC ON", statement, "Set NOEXEC OFF"}, "Set NOEXEC OFF"},
        {kSqlite, {"EXPLAIN " + statement}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Dialect.CompileOnly(statement), c.Sent);
        EXPECT_EQ(c.Dialect.CompileOnlyReset(), c.Reset);
    }
}

TEST(SqlDialectTest, RowsAreFoundAgainByRowidOrByThePrimaryKey) {
    EXPECT_EQ(kSqlite.RowIdColumns(), std::vector<std::string>{"rowid"});
    EXPECT_EQ(kSqlServer.RowIdColumns(), std::nullopt);
    EXPECT_EQ(
        kSqlServer.PrimaryKeyColumnsQuery(),
        "SELECT kcu.COLUMN_NAME FROM INFORMATION_SCHEMA.TABLE_CONSTRAINTS tc JOIN "
        "INFORMATION_SCHEMA.KEY_COLUMN_USAGE kcu ON kcu.CONSTRAINT_SCHEMA = tc.CONSTRAINT_SCHEMA "
        "AND kcu.CONSTRAINT_NAME = tc.CONSTRAINT_NAME WHERE tc.CONSTRAINT_TYPE = 'PRIMARY KEY' "
        "AND tc.TABLE_NAME = ? ORDER BY kcu.ORDINAL_POSITION");
}

TEST(SqlDialectTest, SqlitePrimaryKeyColumnsComeInKeyOrder) {
    testing::TempDir dir;
    auto db = testing::OpenSqlite(testing::CreateSqliteFile(dir.File("w.db")));
    db->Execute("CREATE TABLE dim_a (a INTEGER, b TEXT, c TEXT, PRIMARY KEY (c, a))");
    Command query{kSqlite.PrimaryKeyColumnsQuery(), {}, 60, false};
    query.Parameters.push_back({"table", ValueType::Text, 0, 0, 0, std::string("DIM_A")});
    auto rows = db->Query(query);
    std::vector<std::string> columns;
    while (rows.Next()) columns.push_back(rows.Get(0).value_or(""));
    EXPECT_EQ(columns, (std::vector<std::string>{"c", "a"}));
}

}  // namespace
}  // namespace varnel

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

// SQLite would read a double-quoted word that names no column as a string, so the
// compile-only test sends such words as names; nothing else changes.
TEST(SqlDialectTest, SqliteCompilesDoubleQuotedWordsAsNames) {
    const struct {
        std::string Statement;
        std::string Sent;
    } cases[] = {
        {R"(select * from t where "sale_dat" > '2020')",
         "select * from t where [sale_dat] > '2020'"},
        {R"(select * from "t" where "a""b" = 1 and "c]" = 2)",
         "select * from [t] where [a\"b] = 1 and `c]` = 2"},
        {R"(select * from t where x = 'say "hi"' and [y"] = `z"`)",
         R"(select * from t where x = 'say "hi"' and [y"] = `z"`)"},
        {"select * from t where x = 1 -- \"note\"\n and /* \"c\" */ \"y\" = 2",
         "select * from t where x = 1 -- \"note\"\n and /* \"c\" */ [y] = 2"},
        {R"(select * from t where x = 'it''s "q"' and "open)",
         R"(select * from t where x = 'it''s "q"' and "open)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kSqlite.CompileOnly(c.Statement), std::vector<std::string>{"EXPLAIN " + c.Sent});
    const std::string quoted = R"(select * from t where "a" = 1)";
    EXPECT_EQ(kSqlServer.CompileOnly(quoted)[1], quoted);
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

TEST(SqlDialectTest, TableColumnsComeInCatalogOrder) {
    EXPECT_EQ(kSqlServer.TableColumnsQuery(),
              "SELECT COLUMN_NAME FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = ? ORDER BY "
              "ORDINAL_POSITION");
    testing::TempDir dir;
    auto db = testing::OpenSqlite(testing::CreateSqliteFile(dir.File("w.db")));
    db->Execute("CREATE TABLE dim_a (zeta INTEGER, alpha TEXT, mid TEXT)");
    Command query{kSqlite.TableColumnsQuery(), {}, 60, false};
    query.Parameters.push_back({"table", ValueType::Text, 0, 0, 0, std::string("Dim_A")});
    auto rows = db->Query(query);
    std::vector<std::string> columns;
    while (rows.Next()) columns.push_back(rows.Get(0).value_or(""));
    EXPECT_EQ(columns, (std::vector<std::string>{"zeta", "alpha", "mid"}));
}

}  // namespace
}  // namespace varnel

#include <gtest/gtest.h>

#include "tests/support/scoped_env.h"
#include "tests/support/warehouse_builder.h"
#include "warehouse/connector.h"
#include "warehouse/metadata_names.h"
#include "warehouse/metadata_statements.h"
#include "warehouse/sql_dialect.h"

namespace varnel {
namespace {

const SqlServerDialect kSqlServer;

TEST(StatementTextTest, TextsMatchCharacterForCharacter) {
    const std::pair<std::string, std::string> cases[] = {
        {sql::CreateArchiveLoginTable(),
         "create table dwm_archive( ID tinyint, Server varchar(100), SecureLogin bit, "
         "SQLUserName varchar(100), SQLPassword varchar(100),  DB varchar(100), constraint "
         "dwm_archive_pk primary key (ID))"},
        {sql::SeedArchiveLoginRow(), "insert into dwm_archive values (1, '', 1, null, null, null)"},
        {sql::UpdateArchiveLogin("ARCH", false, "o'neil", "", ""),
         "update dwm_archive set Server = 'ARCH', SecureLogin = 0, SQLUserName = 'o''neil', "
         "SQLPassword = '', DB = '' where ID = 1"},
        {sql::CreateLockTable(), "create table dwm_multiuse( lock bit, user_name varchar(100))"},
        {sql::InsertLockRow(true, "jdoe"), "insert into dwm_multiuse values (1,'jdoe')"},
        {sql::TakeLockRow("o'neil"), "update dwm_multiuse set lock = 1, user_name = 'o''neil'"},
        {sql::UpdateDimensionSelection("dim_customer", true),
         "update dwm_tables set is_selected = 1 where table_name = 'dim_customer' and "
         "upper(table_type) = 'DIMENSION'"},
        {sql::UpdateFactCondition("fact_sales", "sale_date < '2004-01-01'"),
         "update dwm_tables set where_clause = 'sale_date < ''2004-01-01''' where table_name "
         "= 'fact_sales' and upper(table_type) = 'FACT'"},
        {kSqlServer.PrimaryKeyColumnsQuery(),
         "SELECT kcu.COLUMN_NAME FROM INFORMATION_SCHEMA.TABLE_CONSTRAINTS tc JOIN "
         "INFORMATION_SCHEMA.KEY_COLUMN_USAGE kcu ON kcu.CONSTRAINT_SCHEMA = tc.CONSTRAINT_SCHEMA "
         "AND kcu.CONSTRAINT_NAME = tc.CONSTRAINT_NAME WHERE tc.CONSTRAINT_TYPE = 'PRIMARY KEY' "
         "AND tc.TABLE_NAME = ? ORDER BY kcu.ORDINAL_POSITION"},
        {kSqlServer.TableColumnsQuery(),
         "SELECT COLUMN_NAME FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = ? ORDER BY "
         "ORDINAL_POSITION"},
    };
    for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);
    // The server resolves a metadata name as a statement would, trimmed of blanks.
    const auto resolve = kSqlServer.ResolveTableQuery("  dbo.[d_store] ");
    ASSERT_TRUE(resolve);
    EXPECT_EQ(resolve->Text,
              "SELECT QUOTENAME(s.name) + '.' + QUOTENAME(o.name) FROM sys.objects o JOIN "
              "sys.schemas s ON s.schema_id = o.schema_id WHERE o.object_id = OBJECT_ID(?) AND "
              "o.type IN ('U', 'V')");
    EXPECT_EQ(resolve->Parameters.at(0).Data, Value(std::string("dbo.[d_store]")));
    const std::string statement = "delete from t where \"a\" < '2004-01-01'";
    EXPECT_EQ(kSqlServer.CompileOnly(statement),
              (std::vector<std::string>{"Set NOEXEC ON", statement, "Set NOEXEC OFF"}));
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
        testing::ScopedEnv driver("VARNEL_ODBC_DRIVER", c.Driver);
        testing::ScopedEnv options("VARNEL_ODBC_OPTIONS", c.Options);
        const Connector connector{c.Server, "dw", "sa", c.Password, c.WindowsAuth};
        EXPECT_EQ(connector.ConnectionString(), c.Expected);
        EXPECT_EQ(connector.TargetEngine(), Engine::SqlServer);
    }
}

TEST(IdentifierTest, TellsANameFromText) {
    for (const char* name :
         {"  d_store ", "Fact$2024#", "[a]]b]", "\"say \"\"hi\"\"\"", "[dbo].\"d store\"",
          "d_gr\xc3\xb6\xc3\x9f"
          "e"})
        EXPECT_TRUE(IsIdentifier(name)) << "'" << name << "'";
    // Text that would end the name and add SQL of its own, or that is no name at all.
    for (const char* text :
         {"d_store SET name = 'x' --", "d_store; DROP TABLE f", "d store", "it's", "   ", "[]",
          "[d store", "[a]b]", "\"a\" OR 1=1 --\"", "a.b.c", "dbo.", "[line\nbreak]", "f(x)"})
        EXPECT_FALSE(IsIdentifier(text)) << "'" << text << "'";
    const struct {
        const char* Name;
        std::optional<NameParts> Parts;
    } parts[] = {{" main.d_store ", NameParts{"main", "d_store"}},
                 {"[dbo].\"d \"\"store\"", NameParts{"dbo", "d \"store"}},
                 {"[a]]b]", NameParts{"", "a]b"}},
                 {"D_Store", NameParts{"", "D_Store"}},
                 {"a.b.c", std::nullopt}};
    for (const auto& [name, expected] : parts) {
        const auto split = SplitIdentifier(name);
        ASSERT_EQ(split.has_value(), expected.has_value()) << name;
        if (split) {
            EXPECT_EQ(split->Schema + "|" + split->Name, expected->Schema + "|" + expected->Name);
        }
    }
    for (const char* list : {"store_id,  store_region ", "[d id], \"x\"\"y\"", ""})
        EXPECT_TRUE(IsIdentifierList(list)) << list;
    // A comma inside a delimited name still splits the list: the halves are no names.
    for (const char* list : {"a,,b", "id) OR (1=1", "[a,b]"})
        EXPECT_FALSE(IsIdentifierList(list)) << list;
}

TEST(MetadataNamesTest, TheScanNamesTheFirstBadValueAndLeavesTheRest) {
    testing::WarehouseBuilder w;
    w.Dimension("d_store", {"store_id INTEGER", "name VARCHAR(20)"}, {.PrimaryKey = "store_id"});
    w.Fact("f_sales", {"id INTEGER", "store_id INTEGER"}, {.PrimaryKey = "id"});
    w.Relation("d_store", "store_id", "f_sales", "store_id");
    const auto scan = [&] { return FindInvalidMetadataName(w.Connection()); };
    // Rows of other types are not this scan's faults; the relations are read first.
    w.Register({.Table = "not a table", .Type = "VIEW"});
    w.Exec("UPDATE dwm_tables SET org_pkey = 'store_id, name FROM x --'");
    for (const std::string column : {"primary_table", "foreign_table", "primary_columns",
                                     "foreign_columns", "original_primary_key"}) {
        w.Exec("UPDATE dwm_star_relations SET " + column + " = 'x y'");
        EXPECT_EQ(scan(), "The value 'x y' in column " + column +
                              " of dwm_star_relations is not a valid name.");
        w.Exec("UPDATE dwm_star_relations SET " + column + " = 'x'");
    }
    EXPECT_EQ(scan(),
              "The value 'store_id, name FROM x --' in column org_pkey of dwm_tables is "
              "not a valid name.");
}

}  // namespace
}  // namespace varnel

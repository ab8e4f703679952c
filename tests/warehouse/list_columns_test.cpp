// The rules by which results fill the check-box lists, and the tool's messages for
// a missing control column in each engine's wording.

#include "warehouse/list_columns.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/warehouse_builder.h"
#include "warehouse/sql_dialect.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;

const SqlServerDialect kSqlServer;
const SqliteDialect kSqlite;

TEST(ListColumnsTest, CheckColumnsGetNoListColumn) {
    const std::vector<ColumnInfo> records = {
        {"is_sustainable"}, {"code"}, {"IS_SELECTED"}, {"name"}, {"is_sustainable"}};
    EXPECT_THAT(ShownColumns(records), ElementsAre(1U, 3U));
    EXPECT_THAT(ListHeaders(records), ElementsAre("code", "name"));
    // The first column is the check mark even when it is no check column.
    EXPECT_THAT(ListHeaders({{"code"}, {"name"}}), ElementsAre("name"));

    testing::WarehouseBuilder w;
    w.Dimension("dim_Zone", {"zone_code VARCHAR(5)", "is_selected INTEGER", "label TEXT"});
    auto db = w.OpenConnection();
    EXPECT_THAT(TableColumnNames(*db, " DIM_ZONE "),
                ElementsAre("zone_code", "is_selected", "label", "is_deletable", "is_sustainable"));
    EXPECT_THAT(TableListHeaders(*db, "dim_zone"),
                ElementsAre("zone_code", "label", "is_deletable"));
    EXPECT_TRUE(TableListHeaders(*db, "dim_missing").empty());
}

TEST(ListColumnsTest, AMissingControlColumnIsNamedInTheToolsWords) {
    const struct {
        const SqlDialect& Dialect;
        std::string Description;
        std::string Shown;
    } cases[] = {
        {kSqlServer,
         "[Microsoft][ODBC Driver 17 for SQL Server][SQL Server]Invalid column name "
         "'is_sustainable'.",
         "Column 'is_sustainable' does not exist."},
        {kSqlServer,
         "[FreeTDS][SQL Server]Invalid column name 'is_deletable'.\r\n"
         "[FreeTDS][SQL Server]Statement(s) could not be prepared.",
         "Column 'is_deletable' does not exist."},
        {kSqlServer, "Invalid column name 'is_sustainable'.",
         "Column 'is_sustainable' does not exist."},
        {kSqlServer, "[SQL Server]Invalid column name 'is_sustainable2'.",
         "[SQL Server]Invalid column name 'is_sustainable2'."},
        {kSqlServer, "[SQL Server]no such column: is_sustainable",
         "[SQL Server]no such column: is_sustainable"},
        {kSqlite, "[SQLite]no such column: is_deletable (1)",
         "Column 'is_deletable' does not exist."},
        {kSqlite, "[SQLite]no such column: d.is_sustainable (1)",
         "[SQLite]no such column: d.is_sustainable (1)"},
        {kSqlite, "[SQLite]Invalid column name 'is_sustainable'. (1)",
         "[SQLite]Invalid column name 'is_sustainable'. (1)"},
    };
    for (const auto& c : cases) EXPECT_EQ(ListQueryErrorMessage(c.Dialect, c.Description), c.Shown);

    // And the wording the SQLite driver really gives.
    testing::WarehouseBuilder w;
    w.Table("dim_plain", {"code TEXT"});
    try {
        w.Connection().Query("Select  is_sustainable, * from dim_plain  ");
        FAIL() << "the query ran";
    } catch (const OdbcError& error) {
        EXPECT_EQ(ListQueryErrorMessage(kSqlite, error.what()),
                  "Column 'is_sustainable' does not exist.");
    }
}

}  // namespace
}  // namespace varnel

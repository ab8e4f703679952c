// The warehouse builder of the tests: it must make what the other suites take for granted.

#include "tests/support/warehouse_builder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::Null;
using testing::Texts;
using testing::WarehouseBuilder;

TEST(WarehouseBuilderTest, MetadataRowsDescribeTheTablesAsBuilt) {
    WarehouseBuilder w;
    w.Dimension("dim_store", {"region INTEGER", "shop INTEGER", "name VARCHAR(30)"},
                {.PrimaryKey = "region, shop", .OrgPkey = "region,shop"});
    w.Dimension(
        "dim_customer", {"id INTEGER", "code VARCHAR(10)"},
        {.OrgPkey = "code", .Selected = false, .TableType = "Dimension", .SlowlyChanging = true});
    w.Fact("fact_sales", {"id INTEGER", "region INTEGER", "shop INTEGER", "customer_id INTEGER"},
           {.WhereClause = "id < 10"});
    w.Relation("dim_store", "region,shop", "fact_sales", "region, shop");
    w.Relation("dim_customer", "id", "fact_sales", "customer_id");
    w.Relation("dim_customer", "id", "dim_customer", "id", {.OriginalKey = Null});

    EXPECT_THAT(w.Lines("SELECT * FROM dwm_tables ORDER BY table_name"),
                ElementsAre("dim_customer|Dimension|<null>|0|code",
                            "dim_store|DIMENSION|<null>|1|region,shop",
                            "fact_sales|FACT|id < 10|0|<null>"));
    // Column lists are stored as written; a relation to a slowly changing
    // dimension takes its flag and original key from the table unless told otherwise.
    EXPECT_THAT(w.Lines("SELECT * FROM dwm_star_relations ORDER BY rowid"),
                ElementsAre("1|dim_store|region,shop|fact_sales|region, shop|0|<null>",
                            "1|dim_customer|id|fact_sales|customer_id|1|code",
                            "1|dim_customer|id|dim_customer|id|1|<null>"));
}

TEST(WarehouseBuilderTest, DimensionsGetTheirControlColumnsUnlessLeftOut) {
    WarehouseBuilder w;
    w.Dimension("dim_plain", {"id INTEGER"});
    w.Dimension("dim_history", {"id INTEGER", "code VARCHAR(5)"},
                {.SlowlyChanging = true, .Surkey = true});
    w.Dimension(
        "dim_broken", {"id INTEGER"},
        {.SlowlyChanging = true, .Without = {"is_deletable", "end_date"}, .Registered = false});

    EXPECT_THAT(w.ColumnNames("dim_plain"), ElementsAre("id", "is_deletable", "is_sustainable"));
    EXPECT_THAT(w.ColumnNames("dim_history"),
                ElementsAre("id", "code", "surkey", "is_deletable", "is_sustainable", "start_date",
                            "end_date", "is_current"));
    EXPECT_THAT(w.ColumnNames("dim_broken"),
                ElementsAre("id", "is_sustainable", "start_date", "is_current"));
    EXPECT_EQ(w.Count("dwm_tables", "table_name = 'dim_broken'"), 0);

    // New rows start unmarked and not kept.
    w.Rows("dim_plain", {"id"}, {{1}});
    EXPECT_EQ(w.Value("SELECT is_deletable || '/' || is_sustainable FROM dim_plain"), "0/0");

    // A misspelt column to leave out would silently build a sound table.
    EXPECT_THROW(w.Dimension("dim_typo", {"id INTEGER"}, {.Without = {"is_deleteable"}}),
                 std::invalid_argument);
}

TEST(WarehouseBuilderTest, FactTablesAreIndexedOnTheirReferringColumns) {
    WarehouseBuilder w;
    w.Dimension("dim_store", {"region INTEGER", "shop INTEGER"});
    w.Dimension("dim_product", {"id INTEGER"});
    w.Fact("fact_sales", {"id INTEGER", "region INTEGER", "shop INTEGER", "product_id INTEGER"},
           {.PrimaryKey = "id", .KeyConstraint = "pk_fact_sales"});
    w.Fact("fact_returns", {"product_id INTEGER"}, {.Indexed = false});
    w.Relation("dim_store", "region,shop", "fact_sales", "region, shop");
    w.Relation("dim_product", "id", "fact_sales", "product_id");
    w.Relation("dim_product", "id", "fact_sales", "product_id");  // the same columns again
    w.Relation("dim_product", "id", "fact_returns", "product_id");

    EXPECT_THAT(w.IndexNames("fact_sales"),
                ElementsAre("ix_fact_sales_product_id", "ix_fact_sales_region_shop"));
    EXPECT_THAT(w.Value("SELECT sql FROM sqlite_master WHERE name = 'ix_fact_sales_region_shop'"),
                HasSubstr("(region, shop)"));
    EXPECT_THAT(w.Value("SELECT sql FROM sqlite_master WHERE name = 'fact_sales'"),
                HasSubstr("CONSTRAINT pk_fact_sales PRIMARY KEY (id)"));
    EXPECT_THAT(w.IndexNames("fact_returns"), ElementsAre());
    EXPECT_THAT(w.IndexNames("dim_store"), ElementsAre());
}

TEST(WarehouseBuilderTest, VersionsAreStoredWithIsoTextDates) {
    WarehouseBuilder w;
    w.Dimension("dim_customer", {"id INTEGER", "code VARCHAR(10)"},
                {.PrimaryKey = "id", .OrgPkey = "code", .SlowlyChanging = true});
    w.Versions("dim_customer", {"id", "code"},
               {{{1, "C1"}, "2020-01-01", "2021-06-30 12:30:00"},
                {{2, "C1"}, "2021-06-30 12:30:00", Null, 1, 1},
                {{3, "C2"}, "2022-02-02T08:00:00", "2023-01-01", 0, 0, 1}});

    EXPECT_THAT(w.Lines("SELECT id, code, start_date, end_date, is_current, is_deletable, "
                        "is_sustainable, typeof(start_date) FROM dim_customer ORDER BY id"),
                ElementsAre("1|C1|2020-01-01 00:00:00|2021-06-30 12:30:00|0|0|0|text",
                            "2|C1|2021-06-30 12:30:00|<null>|1|1|0|text",
                            "3|C2|2022-02-02 08:00:00|2023-01-01 00:00:00|0|0|1|text"));
    // Stored dates must compare by day the way the repair statements do.
    EXPECT_EQ(w.Count("dim_customer", "date(start_date) = date('2021-06-30')"), 1);

    EXPECT_THROW(w.Versions("dim_customer", {"id", "code"}, {{{4, "C3"}, "30.06.2021", Null}}),
                 std::invalid_argument);
}

TEST(WarehouseBuilderTest, RowsBindTheirValuesAndAreAllOrNothing) {
    WarehouseBuilder w;
    // "raw" has no type, so it keeps each value as it was bound.
    w.Dimension("dim_product", {"id INTEGER", "code VARCHAR(10)", "raw"}, {.PrimaryKey = "id"});
    w.Rows("dim_product", {"id", "code", "raw", "is_deletable"},
           {{1, "O'Brien", 2.5, 0}, {2, Null, Null, 1}, {3, "C", 7, 1}, {4, "D", "7", 0}});

    EXPECT_THAT(
        w.Lines("SELECT id, code, raw, typeof(raw) FROM dim_product ORDER BY id"),
        ElementsAre("1|O'Brien|2.5|real", "2|<null>|<null>|null", "3|C|7|integer", "4|D|7|text"));
    EXPECT_THAT(w.Marked("dim_product", "id"), ElementsAre("2", "3"));
    EXPECT_EQ(w.Marks("dim_product", "code"),
              (std::map<std::string, int>{{"<null>", 1}, {"C", 1}, {"D", 0}, {"O'Brien", 0}}));

    // A short row is a mistake in the test: nothing of the call may stay behind.
    EXPECT_THROW(w.Rows("dim_product", {"id", "code"}, {{5, "E"}, {6}}), std::invalid_argument);
    EXPECT_EQ(w.Count("dim_product"), 4);
    // A failing insert (duplicate key) leaves the earlier rows of the call out as well.
    EXPECT_ANY_THROW(w.Rows("dim_product", {"id"}, {{7}, {1}}));
    EXPECT_EQ(w.Count("dim_product"), 4);
}

TEST(WarehouseBuilderTest, ClosedFileIsUsableByOthersAndReopensForReading) {
    testing::TempDir dir;
    const std::string path = dir.File("given.db");
    WarehouseBuilder w(path);
    w.Dimension("dim_store", {"id INTEGER"});
    w.Rows("dim_store", {"id"}, {{1}, {2}});
    w.Close();
    EXPECT_FALSE(std::filesystem::exists(path + "-wal"));  // everything is in the file itself

    auto other = w.OpenConnection();
    other->Execute("UPDATE dim_store SET is_deletable = 1 WHERE id = 2");
    other.reset();
    EXPECT_THAT(w.Marked("dim_store", "id"), ElementsAre("2"));
    EXPECT_EQ(w.Folder(), dir.Path().string());

    // A builder on an existing path starts from an empty warehouse.
    w.Close();
    WarehouseBuilder again(path);
    EXPECT_THAT(again.Column("SELECT name FROM sqlite_master ORDER BY name"),
                ElementsAre("dwm_star_relations", "dwm_tables"));
}

}  // namespace
}  // namespace varnel

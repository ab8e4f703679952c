// Which metadata values may go into statements as names, and the scan of the two
// metadata tables that finds the first one that may not.

#include "warehouse/metadata_names.h"

#include <gtest/gtest.h>

#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

TEST(IdentifierTest, TellsANameFromText) {
    for (const char* name : {"  d_store ", "Fact$2024#", "[d store]", "[a]]b]",
                             "\"say \"\"hi\"\"\"", "dbo.[d store]", "[dbo].\"d store\"",
                             "d_gr\xc3\xb6\xc3\x9f"
                             "e"})
        EXPECT_TRUE(IsIdentifier(name)) << "'" << name << "'";
    // Text that would end the name and add SQL of its own, or that is no name at all.
    for (const char* text :
         {"d_store SET name = 'x' --", "d_store; DROP TABLE f", "d store", "d_store--", "it's", "",
          "   ", "[]", "[d store", "[a]b]", "[a] x", "\"a\"\"", "\"a\" OR 1=1 --\"", "a.b.c",
          ".d_store", "dbo.", "[line\nbreak]", "f(x)"})
        EXPECT_FALSE(IsIdentifier(text)) << "'" << text << "'";
}

TEST(IdentifierListTest, EveryPieceTrimmedMustBeAName) {
    for (const char* list : {"id", "store_id,  store_region ", "[d id], \"x\"\"y\"", "", "   "})
        EXPECT_TRUE(IsIdentifierList(list)) << list;
    // A comma inside a delimited name still splits the list: the halves are no names.
    for (const char* list : {"a,,b", "a,", "id) OR (1=1", "id, name = 'x' --", "[a,b]"})
        EXPECT_FALSE(IsIdentifierList(list)) << list;
}

class MetadataNamesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        w_.Dimension("d_store", {"store_id INTEGER", "name VARCHAR(20)"},
                     {.PrimaryKey = "store_id"});
        w_.Fact("f_sales", {"id INTEGER", "store_id INTEGER"}, {.PrimaryKey = "id"});
        w_.Relation("d_store", "store_id", "f_sales", "store_id");
    }

    std::optional<std::string> Scan() { return FindInvalidMetadataName(w_.Connection()); }

    testing::WarehouseBuilder w_;
};

TEST_F(MetadataNamesTest, NamesTheTableColumnAndValueOfTheFirstBadName) {
    w_.Exec(
        "UPDATE dwm_tables SET table_name = 'd_store SET name = ''x'' --'"
        " WHERE table_name = 'd_store'");
    EXPECT_EQ(Scan(),
              "The value 'd_store SET name = 'x' --' in column table_name of dwm_tables "
              "is not a valid name.");
    w_.Exec(
        "UPDATE dwm_tables SET table_name = 'd_store', org_pkey = 'store_id, name FROM x --'"
        " WHERE table_name LIKE 'd_store%'");
    EXPECT_EQ(Scan(),
              "The value 'store_id, name FROM x --' in column org_pkey of dwm_tables "
              "is not a valid name.");
    // The relations are read first, every name column of them.
    for (const std::string column : {"primary_table", "foreign_table", "primary_columns",
                                     "foreign_columns", "original_primary_key"}) {
        w_.Exec("UPDATE dwm_star_relations SET " + column + " = 'x y'");
        EXPECT_EQ(Scan(), "The value 'x y' in column " + column +
                              " of dwm_star_relations is not a valid name.");
        w_.Exec("UPDATE dwm_star_relations SET " + column + " = 'x'");
    }
}

TEST_F(MetadataNamesTest, LeavesWhatTheTasksDoNotReadToThem) {
    EXPECT_EQ(Scan(), std::nullopt);
    // Rows of other types, Nulls and missing tables are not this scan's faults.
    w_.Register({.Table = "not a table", .Type = "VIEW"});
    w_.Exec("UPDATE dwm_star_relations SET original_primary_key = NULL");
    EXPECT_EQ(Scan(), std::nullopt);
    w_.Exec("DROP TABLE dwm_star_relations");
    w_.Exec("DROP TABLE dwm_tables");
    EXPECT_EQ(Scan(), std::nullopt);
}

}  // namespace
}  // namespace varnel

// Rows that referring rows use when the deletion runs are kept, whatever the
// marks say: the statements, the referring-first order of the tables, and the
// task on real SQLite warehouses in both modes.

#include "tasks/deletion/reference_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/tasks/deletion/deletion_fixture.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::V;

constexpr const char* kOpen = "9999-12-31";

std::string ModeName(const ::testing::TestParamInfo<bool>& mode) {
    return mode.param ? "Atomic" : "Plain";
}

TEST(ReferenceCheckStatementsTest, ReadsTheReferringTableUnderAnAliasAndHoldsItOnSqlServer) {
    EXPECT_EQ(ReferringRelationsQuery("dim_o'hara"),
              "SELECT foreign_table, primary_columns, foreign_columns FROM dwm_star_relations "
              "WHERE primary_table = 'dim_o''hara'");
    EXPECT_EQ(KeepReferencedRowsStatement(DialectFor(Engine::SqlServer), "dim_store", "fact_sales",
                                          "code, region", " store_code ,store_region"),
              "UPDATE dim_store SET is_deletable = 0 WHERE is_deletable = 1 AND EXISTS (SELECT 1 "
              "FROM fact_sales AS referrer WITH (HOLDLOCK) WHERE dim_store.code = "
              "referrer.store_code AND dim_store.region = referrer.store_region)");
    EXPECT_EQ(KeepReferencedRowsStatement(DialectFor(Engine::Sqlite), "dim_store", "fact_sales",
                                          "id", "store_id"),
              "UPDATE dim_store SET is_deletable = 0 WHERE is_deletable = 1 AND EXISTS (SELECT 1 "
              "FROM fact_sales AS referrer WHERE dim_store.id = referrer.store_id)");
    // A table of the alias's own name gets another alias.
    EXPECT_THAT(KeepReferencedRowsStatement(DialectFor(Engine::Sqlite), "dbo.[Referrer]", "f", "id",
                                            "r_id"),
                HasSubstr("FROM f AS referrer_row WHERE dbo.[Referrer].id = referrer_row.r_id)"));
    EXPECT_THROW(KeepReferencedRowsStatement(DialectFor(Engine::Sqlite), "d", "f", "a,b", "x"),
                 std::runtime_error);
}

TEST(ReferenceCheckOrderTest, ReferringTablesComeFirst) {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    const struct {
        const char* Case;
        std::vector<std::string> Tables;
        Pairs References;
        std::vector<std::string> Expected;
    } cases[] = {
        {"a chain", {"a", "b", "c"}, {{"a", "b"}, {"b", "c"}}, {"c", "b", "a"}},
        {"a self-reference does not count", {"a", "b"}, {{"a", "a"}}, {"a", "b"}},
        {"an unlisted referrer does not count",
         {"b", "a"},
         {{"a", "fact_sales"}, {"b", "a"}},
         {"a", "b"}},
        {"names compare without case and blanks",
         {"Dim_A", "dim_b"},
         {{"dim_a ", " DIM_B"}},
         {"dim_b", "Dim_A"}},
        {"a cycle follows the rest in list order",
         {"a", "b", "c", "d"},
         {{"a", "b"}, {"b", "a"}, {"c", "d"}},
         {"d", "c", "a", "b"}},
        {"a table that a cycle refers to stays after it",
         {"c", "a", "b"},
         {{"a", "b"}, {"b", "a"}, {"c", "a"}},
         {"c", "a", "b"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReferringFirst(c.Tables, c.References), c.Expected) << c.Case;
}

class ReferenceCheckTest : public testing::DeletionTest {
  protected:
    //! Runs the task with a log of its own and returns the log's text.
    std::string DeleteWithLog(bool atomic, bool expectDone = true) {
        const std::string path = dir_.File("run.txt");
        {
            LogStream log(path);
            EXPECT_EQ(Delete(atomic, &log), expectDone) << MessageText;
        }
        return testing::ReadFile(path);
    }
};

TEST_F(ReferenceCheckTest, RowsReferredToThroughAnyRelationAreKeptAndCountedOnce) {
    // Every row of a referring table counts, marked or not, selected or not.
    w_.Dimension("dim_store", {"id INTEGER", "code VARCHAR(10)", "region INTEGER"},
                 {.PrimaryKey = "id"});
    w_.Fact("fact_visits", {"id INTEGER", "store_code VARCHAR(10)", "store_region INTEGER"});
    w_.Dimension("dim_kiosk", {"id INTEGER", "store_code VARCHAR(10)", "store_region INTEGER"},
                 {.PrimaryKey = "id", .Selected = false});
    w_.Relation("dim_store", "code, region", "fact_visits", " store_code ,store_region");
    w_.Relation("dim_store", "code,region", "dim_kiosk", "store_code, store_region");
    w_.Rows("dim_store", {"id", "code", "region", "is_deletable"},
            {{1, "A", 1, 1}, {2, "A", 2, 1}, {3, "B", 1, 1}, {4, "C", 1, 0}});
    w_.Rows("fact_visits", {"id", "store_code", "store_region"}, {{1, "A", 1}, {2, "C", 1}});
    w_.Rows("dim_kiosk", {"id", "store_code", "store_region", "is_deletable"},
            {{1, "A", 1, 1}, {2, "B", 1, 1}});

    const std::string log = DeleteWithLog(false);
    EXPECT_THAT(w_.Column("SELECT id FROM dim_store ORDER BY id"), ElementsAre("1", "3", "4"));
    EXPECT_EQ(w_.Count("dim_store", "is_deletable = 1"), 0);
    EXPECT_EQ(log,
              "Kept 2 marked rows of table dim_store that rows of referring tables refer to.\r\n");
    const auto history = History();
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].RecordCount, "1");  // the rows deleted, not the rows kept
}

TEST_F(ReferenceCheckTest, ATableReferringToItselfKeepsTheRowsItsRowsReferTo) {
    w_.Dimension("dim_employee", {"id INTEGER", "manager_id INTEGER"}, {.PrimaryKey = "id"});
    w_.Relation("dim_employee", "id", "fact_sales", "customer_id");
    w_.Relation("dim_employee", "id", "dim_employee", "manager_id");
    // 1 manages 2, 2 manages 3 (both marked); 4 manages itself; 5 nobody.
    w_.Rows("dim_employee", {"id", "manager_id", "is_deletable"},
            {{1, testing::Null, 1}, {2, 1, 1}, {3, 2, 1}, {4, 4, 1}, {5, testing::Null, 1}});

    ASSERT_TRUE(Delete(false)) << MessageText;
    EXPECT_THAT(w_.Column("SELECT id FROM dim_employee ORDER BY id"), ElementsAre("1", "2", "4"));
}

class ReferenceCheckModeTest : public ReferenceCheckTest,
                               public ::testing::WithParamInterface<bool> {};

// A fact loaded after the marking uses marked versions: in plain mode the version
// survives and the repair treats it so; in atomic mode its element is not wholly
// marked any more and keeps every version.
TEST_P(ReferenceCheckModeTest, AReferredVersionSurvives) {
    const bool atomic = GetParam();
    Customers({V(1, "A", 1, "2020-01-01", "2020-02-01", 0, 1),
               V(2, "A", 1, "2020-02-01", kOpen, 1, 1), V(3, "B", 1, "2020-01-01", kOpen, 1, 1)});
    w_.Rows("fact_sales", {"id", "customer_id"}, {{1, 1}});

    const std::string log = DeleteWithLog(atomic);
    EXPECT_EQ(
        log,
        "Kept 1 marked rows of table dim_customer that rows of referring tables refer to.\r\n");
    if (atomic) {
        EXPECT_THAT(Versions(),
                    ElementsAre("1|2020-01-01|2020-02-01|0", "2|2020-02-01|9999-12-31|1"));
    } else {
        EXPECT_THAT(Versions(), ElementsAre("1|2020-01-01|9999-12-31|1"));
    }
}

// The first relation works and clears a mark; the second names a missing column:
// the table is left as it was, marks included, and the task ends there.
TEST_P(ReferenceCheckModeTest, ACheckThatCannotRunLeavesItsTableAsItWasAndEndsTheTask) {
    const bool atomic = GetParam();
    Brands({1, 2}, {1, 2});
    Customers({V(1, "A", 1, "2020-01-01", kOpen, 1, 1), V(2, "B", 1, "2020-01-01", kOpen, 1, 1)},
              "dim_zone");
    w_.Table("zone_links", {"id INTEGER"});
    w_.Relation("dim_zone", "id", "zone_links", "zone_id");
    w_.Rows("fact_sales", {"id", "customer_id"}, {{1, 1}});

    EXPECT_FALSE(Delete(atomic));
    EXPECT_THAT(MessageText, HasSubstr("no such column: referrer.zone_id"));
    EXPECT_THAT(MessageText, HasSubstr("\r\nTable concerned: dim_zone\r\n"));
    EXPECT_EQ(w_.Count("dim_brand"), 0);  // deleted before it
    EXPECT_THAT(w_.Marked("dim_zone", "id"), ElementsAre("1", "2"));
    const auto history = History();
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[1].TableName + "|" + history[1].Status + "|" + history[1].RecordCount,
              "dim_zone|3|0");
    EXPECT_THAT(history[1].Message, HasSubstr("no such column"));
    EXPECT_THAT(history[1].Message, ::testing::Not(HasSubstr("Table concerned")));
}

INSTANTIATE_TEST_SUITE_P(Modes, ReferenceCheckModeTest, ::testing::Values(false, true), ModeName);

// The child is deleted first; its kept element still refers to the parent row
// through a marked version, and that row stays. The parent row of the child's
// deleted element goes, which only the referring-first order allows.
TEST_F(ReferenceCheckTest, AtomicSnowflakeKeepsTheParentOfAPartlyMarkedChildElement) {
    w_.Dimension("dim_category", {"id INTEGER", "name VARCHAR(10)"}, {.PrimaryKey = "id"});
    w_.Dimension("dim_product", {"id INTEGER", "code VARCHAR(10)", "category_id INTEGER"},
                 {.PrimaryKey = "id", .OrgPkey = "code", .SlowlyChanging = true});
    w_.Relation("dim_product", "id", "fact_sales", "brand_id");
    w_.Relation("dim_category", "id", "dim_product", "category_id");
    w_.Versions("dim_product", {"id", "code", "category_id"},
                {{.Values = {1, "A", 1},
                  .Start = "2020-01-01",
                  .End = "2020-02-01",
                  .Current = 0,
                  .Deletable = 1,
                  .Sustainable = 0},
                 {.Values = {2, "A", 2},
                  .Start = "2020-02-01",
                  .End = kOpen,
                  .Current = 1,
                  .Deletable = 0,
                  .Sustainable = 0},
                 {.Values = {3, "B", 3},
                  .Start = "2020-01-01",
                  .End = kOpen,
                  .Current = 1,
                  .Deletable = 1,
                  .Sustainable = 0}});
    // As the marking leaves them: only marked versions use 1 and 3; nothing uses 4.
    w_.Rows("dim_category", {"id", "name", "is_deletable"},
            {{1, "c1", 1}, {2, "c2", 0}, {3, "c3", 1}, {4, "c4", 1}});

    const std::string log = DeleteWithLog(true);
    EXPECT_THAT(w_.Column("SELECT id FROM dim_product ORDER BY id"), ElementsAre("1", "2"));
    EXPECT_THAT(w_.Column("SELECT id FROM dim_category ORDER BY id"), ElementsAre("1", "2"));
    EXPECT_EQ(
        log,
        "Kept 1 marked rows of table dim_category that rows of referring tables refer to.\r\n");
    const auto history = History();
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].TableName + "|" + history[0].RecordCount, "dim_product|1");
    EXPECT_EQ(history[1].TableName + "|" + history[1].RecordCount, "dim_category|2");
}

}  // namespace
}  // namespace varnel

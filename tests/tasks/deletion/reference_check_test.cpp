// Rows that referring rows use when the deletion runs are kept, whatever the marks say.

#include "tasks/deletion/reference_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "tests/support/matchers.h"
#include "tests/support/varnel_process.h"
#include "tests/tasks/deletion/deletion_fixture.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::HistoryIs;
using testing::Null;
using testing::V;

using testing::kOpenEnd;

std::string KeptLine(const std::string& table, int kept) {
    return "Kept " + std::to_string(kept) + " marked rows of table " + table +
           " that rows of referring tables refer to.\r\n";
}

TEST(ReferenceCheckTextTest, ReferringTablesComeFirst) {
    using Tables = std::vector<std::string>;
    const struct {
        Tables Listed;
        std::vector<std::pair<std::string, std::string>> References;  // referenced, referring
        Tables Expected;
    } cases[] = {
        {{"a", "b", "c"}, {{"a", "b"}, {"b", "c"}}, {"c", "b", "a"}},
        {{"a", "b"}, {{"a", "a"}, {"b", "fact"}}, {"a", "b"}},  // itself, an unlisted table
        {{"Dim_A", "dim_b"}, {{"dim_a ", " DIM_B"}}, {"dim_b", "Dim_A"}},
        // A cycle, and a table it refers to, follow the rest in list order.
        {{"e", "a", "b", "c", "d"},
         {{"a", "b"}, {"b", "a"}, {"c", "d"}, {"e", "a"}},
         {"d", "c", "e", "a", "b"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReferringFirst(c.Listed, c.References), c.Expected) << c.Listed[0];
}

class ReferenceCheckTest : public testing::DeletionTest {
  protected:
    //! Runs the task with a log of its own and returns the log's text.
    std::string DeleteWithLog(bool atomic) {
        const std::string path = dir_.File("run.txt");
        {
            LogStream log(path);
            EXPECT_TRUE(Delete(atomic, &log)) << state_.MessageText;
        }
        return testing::ReadFile(path);
    }
};

// Every referring row counts, whatever its mark, in a fact table, in an unselected
// dimension and in the table itself; pairs of columns match as pairs.
TEST_F(ReferenceCheckTest, RowsReferredToThroughAnyRelationAreKeptAndCountedOnce) {
    w_.Dimension("dim_store", {"id INTEGER", "code VARCHAR(9)", "region INTEGER", "parent INTEGER"},
                 {.PrimaryKey = "id"});
    w_.Fact("fact_visits", {"id INTEGER", "store_code VARCHAR(9)", "store_region INTEGER"});
    w_.Dimension("dim_kiosk", {"id INTEGER", "store_code VARCHAR(9)", "store_region INTEGER"},
                 {.PrimaryKey = "id", .Selected = false});
    w_.Relation("dim_store", "code, region", "fact_visits", " store_code ,store_region");
    w_.Relation("dim_store", "code,region", "dim_kiosk", "store_code, store_region");
    w_.Relation("dim_store", "id", "dim_store", "parent");
    w_.Rows("dim_store", {"id", "code", "region", "parent", "is_deletable"},
            {{1, "A", 1, Null, 1},
             {2, "A", 2, Null, 1},
             {3, "B", 1, Null, 1},
             {4, "C", 1, 5, 1},
             {5, "D", 1, 6, 1},
             {6, "E", 1, Null, 1},
             {7, "F", 1, 7, 1}});
    w_.Rows("fact_visits", {"id", "store_code", "store_region"}, {{1, "A", 1}});
    w_.Rows("dim_kiosk", {"id", "store_code", "store_region", "is_deletable"},
            {{1, "A", 1, 1}, {2, "B", 1, 1}});

    EXPECT_EQ(DeleteWithLog(false), KeptLine("dim_store", 5));
    EXPECT_THAT(w_.Column("SELECT id FROM dim_store ORDER BY id"),
                ElementsAre("1", "3", "5", "6", "7"));
    // The rows deleted, not the rows kept.
    EXPECT_THAT(History(), ElementsAre(HistoryIs("Deleted dimensions|dim_store|0|2")));
}

// The child goes first: its partly marked element keeps the parent row that a
// marked version uses; the parent of its deleted element goes too.
TEST_F(ReferenceCheckTest, AtomicSnowflakeKeepsTheParentOfAPartlyMarkedChildElement) {
    w_.Dimension("dim_category", {"id INTEGER"}, {.PrimaryKey = "id"});
    w_.Dimension("dim_product", {"id INTEGER", "code VARCHAR(9)", "category_id INTEGER"},
                 {.PrimaryKey = "id", .OrgPkey = "code", .SlowlyChanging = true});
    w_.Relation("dim_product", "id", "fact_sales", "brand_id");
    w_.Relation("dim_category", "id", "dim_product", "category_id");
    w_.Versions(
        "dim_product", {"id", "code", "category_id"},
        {V(1, "A", 1, "2020-01-01", "2020-02-01", 0, 1), V(2, "A", 2, "2020-02-01", kOpenEnd, 1, 0),
         V(3, "B", 3, "2020-01-01", kOpenEnd, 1, 1)});
    w_.Rows("dim_category", {"id", "is_deletable"}, {{1, 1}, {2, 0}, {3, 1}, {4, 1}});

    EXPECT_EQ(DeleteWithLog(true), KeptLine("dim_category", 1));
    EXPECT_THAT(w_.Column("SELECT id FROM dim_product ORDER BY id"), ElementsAre("1", "2"));
    EXPECT_THAT(w_.Column("SELECT id FROM dim_category ORDER BY id"), ElementsAre("1", "2"));
}

class ReferenceCheckModeTest : public ReferenceCheckTest,
                               public ::testing::WithParamInterface<bool> {};

// A fact loaded after marking keeps its version (made current by the repair) or, in
// atomic mode, its whole element.
TEST_P(ReferenceCheckModeTest, AFactLoadedAfterMarkingKeepsItsRows) {
    const bool atomic = GetParam();
    Brands({1, 2, 3}, {1, 2, 3});
    Customers({V(1, "A", 1, "2020-01-01", "2020-02-01", 0, 1),
               V(2, "A", 1, "2020-02-01", kOpenEnd, 1, 1),
               V(3, "B", 1, "2020-01-01", kOpenEnd, 1, 1)});
    w_.Rows("fact_sales", {"id", "customer_id", "brand_id"}, {{1, 1, 2}});

    EXPECT_EQ(DeleteWithLog(atomic), KeptLine("dim_brand", 1) + KeptLine("dim_customer", 1));
    EXPECT_THAT(w_.Column("SELECT id FROM dim_brand"), ElementsAre("2"));
    const testing::Texts expected =
        atomic ? testing::Texts{"1|2020-01-01|2020-02-01|0", "2|2020-02-01|9999-12-31|1"}
               : testing::Texts{"1|2020-01-01|9999-12-31|1"};
    EXPECT_EQ(Versions(), expected);
    EXPECT_THAT(History(), ElementsAre(HistoryIs("Deleted dimensions|dim_brand|0|2"),
                                       HistoryIs(atomic ? "Deleted dimensions|dim_customer|0|1"
                                                        : "Deleted dimensions|dim_customer|0|2")));
}

INSTANTIATE_TEST_SUITE_P(Modes, ReferenceCheckModeTest, ::testing::Bool());

// The sqlite3 shell inserts facts referring to existing marked rows for as long as
// varnel deletes: an orphan could only be the deletion's fault.
TEST_F(ReferenceCheckTest, AWriterThroughoutADeletionRunLeavesNoOrphan) {
    const std::vector<std::string> keys = {"store_id", "product_id", "day_id"};
    const std::string rows = "40000";
    w_.Fact("f_sales", {"store_id INTEGER", "product_id INTEGER", "day_id INTEGER"});
    std::string picks;
    for (const auto& key : keys) {
        const std::string table = "d_" + key;
        w_.Dimension(table, {key + " INTEGER"}, {.PrimaryKey = key});
        w_.Relation(table, key, "f_sales", key);
        w_.Exec("INSERT INTO " + table + " (" + key + ", is_deletable) WITH RECURSIVE n(i) AS " +
                "(SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + rows +
                ") SELECT i, 1 FROM n");
        picks += (picks.empty() ? "(SELECT " : ", (SELECT ") + key + " FROM " + table +
                 " WHERE is_deletable = 1 AND " + key + " >= abs(random()) % " + rows + " LIMIT 1)";
    }
    w_.Close();
    const std::string stop = dir_.File("stop");
    std::ofstream(dir_.File("writer.sh"))
        << "while [ ! -e '" << stop << "' ]; do echo 'INSERT INTO f_sales SELECT " << picks
        << ";'; done | sqlite3 -cmd '.timeout 60000' '" << w_.Path() << "' 2>/dev/null\n";
    const pid_t writer = testing::StartChild({"/bin/sh", dir_.File("writer.sh")});
    std::int64_t before = 0;
    for (int i = 0; i < 2000 && (before = w_.Count("f_sales")) < 20; ++i) usleep(10000);
    w_.Close();
    auto args = testing::SqliteRun(VARNEL_EXE, w_.Path(), dir_.File("del"));
    args.push_back("-del");
    const int status = testing::RunChild(args).ExitCode;
    const std::int64_t during = w_.Count("f_sales") - before;
    std::ofstream(stop).put('\n');
    testing::FinishChild(writer);

    ASSERT_EQ(status, 0) << testing::OnlyFileIn(dir_.File("del"));
    EXPECT_GT(during, 0) << "the writer and the run did not overlap";
    for (const auto& key : keys) {
        EXPECT_EQ(w_.Count("f_sales", key + " NOT IN (SELECT " + key + " FROM d_" + key + ")"), 0)
            << key;
        EXPECT_LT(w_.Count("d_" + key), 40000) << key << ": nothing was deleted";
    }
}

}  // namespace
}  // namespace varnel

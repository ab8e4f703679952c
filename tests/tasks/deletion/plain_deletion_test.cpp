// Plain deletion on real SQLite warehouses: marked rows go, the surviving versions
// of a slowly changing dimension still cover the whole history, one transaction
// per table, cancel between tables, and the job-history entries.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "driver/run_driver.h"
#include "tests/tasks/deletion/deletion_fixture.h"

namespace varnel {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::Null;
using testing::V;

constexpr const char* kOpen = "9999-12-31";

class PlainDeletionTest : public testing::DeletionTest {};

TEST_F(PlainDeletionTest, MarkedRowsGoAndTheSurvivingVersionsCoverTheHistory) {
    Brands({1, 2, 3}, {2});
    Customers({
        // Two first versions marked: the current one takes over from day 1.
        V(1, "A", 1, "2020-01-01", "2020-02-01", 0, 1),
        V(2, "A", 1, "2020-02-01", "2020-03-01", 0, 1),
        V(3, "A", 1, "2020-03-01", kOpen, 1, 0),
        // The two last marked: the first one takes over to the end and becomes current.
        V(4, "B", 1, "2020-01-01", "2020-02-01", 0, 0),
        V(5, "B", 1, "2020-02-01", "2020-03-01", 0, 1),
        V(6, "B", 1, "2020-03-01", kOpen, 1, 1),
        // All marked: nothing is left.
        V(7, "C", 1, "2020-01-01", "2020-02-01", 0, 1),
        V(8, "C", 1, "2020-02-01", "2020-03-01", 0, 1),
        V(9, "C", 1, "2020-03-01", kOpen, 1, 1),
        // A marked first version; then a marked current version after an unmarked one.
        V(10, "D", 1, "2020-01-01", "2020-02-01", 0, 1),
        V(11, "D", 1, "2020-02-01", kOpen, 1, 0),
        V(12, "E", 1, "2020-01-01", "2020-02-01", 0, 0),
        V(13, "E", 1, "2020-02-01", kOpen, 1, 1),
        // Adjacent by day only: the end and the next start differ in the time of day.
        V(14, "F", 1, "2020-01-01", "2020-02-01 18:30:00", 0, 1),
        V(15, "F", 1, "2020-02-01 09:00:00", kOpen, 1, 0),
        // A Null key part is matched as Null, and not with the element beside it.
        V(16, "G", Null, "2020-01-01", "2020-02-01", 0, 1),
        V(17, "G", Null, "2020-02-01", kOpen, 1, 0),
        V(18, "G", 1, "2020-02-01", kOpen, 1, 0),
        // A quote in the key.
        V(19, "O'Hara", 1, "2020-01-01", "2020-02-01", 0, 0),
        V(20, "O'Hara", 1, "2020-02-01", kOpen, 1, 1),
        // A marked middle version between two unmarked ones.
        V(21, "K", 1, "2020-01-01", "2020-02-01", 0, 0),
        V(22, "K", 1, "2020-02-01", "2020-03-01", 0, 1),
        V(23, "K", 1, "2020-03-01", kOpen, 1, 0),
    });

    ASSERT_TRUE(Delete(false)) << state_.MessageText;
    EXPECT_EQ(state_.MessageText, "");
    EXPECT_THAT(w_.Column("SELECT id FROM dim_brand ORDER BY id"), ElementsAre("1", "3"));
    EXPECT_THAT(Versions(),
                ElementsAre("3|2020-01-01|9999-12-31|1", "4|2020-01-01|9999-12-31|1",
                            "11|2020-01-01|9999-12-31|1", "12|2020-01-01|9999-12-31|1",
                            "15|2020-01-01|9999-12-31|1", "17|2020-01-01|9999-12-31|1",
                            "18|2020-02-01|9999-12-31|1", "19|2020-01-01|9999-12-31|1",
                            "21|2020-01-01|2020-02-01|0", "23|2020-02-01|9999-12-31|1"));
    EXPECT_EQ(w_.Value("SELECT start_date FROM dim_customer WHERE id = 15"), "2020-01-01 00:00:00");

    std::vector<std::string> history;
    for (const auto& e : History()) {
        history.push_back(e.TableName + "|" + e.RecordCount + "|" + e.EntryKind + "|" +
                          e.Application + "|" + e.Category + "|" + e.CountUnit + "|" + e.Remark +
                          "|" + e.Status + "|" + e.ServerName + "|" + e.LogFile + "|" + e.JobId);
        EXPECT_EQ(e.DatabaseName, w_.Path());
        EXPECT_TRUE(e.StartTime && e.EndTime);
    }
    const std::string common =
        "|6|Varnel|Deleted dimensions|records deleted|Atomic deletion=no|0|"
        "sqlite|/var/log/varnel/run.txt|job-7";
    EXPECT_THAT(history, ElementsAre("dim_brand|1" + common, "dim_customer|13" + common));
    EXPECT_THAT(Window().Comments,
                Contains("Deleting records from Dimension table : dim_customer"));
    EXPECT_EQ(Window().Comments.back(), "");
    EXPECT_EQ(state_.ActiveProgressWindow()->ProgressMax(), 2);
    EXPECT_EQ(state_.DeletionConnection, nullptr);
}

TEST_F(PlainDeletionTest, AFailingRepairUndoesItsTableKeepsTheOnesBeforeAndEndsTheRun) {
    Brands({1, 2}, {2});
    Customers(
        {V(1, "A", 1, "2020-01-01", "2020-02-01", 0, 1), V(2, "A", 1, "2020-02-01", kOpen, 1, 0),
         V(3, "Z", 1, "2020-01-01", "2020-02-01", 0, 1), V(4, "Z", 1, "2020-02-01", kOpen, 1, 0)});
    // Element A is repaired first; the repair of Z then fails.
    w_.Exec(
        "CREATE TRIGGER no_z BEFORE UPDATE ON dim_customer WHEN NEW.code = 'Z' "
        "BEGIN SELECT RAISE(ABORT, 'repair refused'); END");
    const auto before = Versions();
    w_.Close();
    state_.CommandLineMode = true;
    RunSettings settings;
    settings.Server = "sqlite";
    settings.Database = w_.Path();
    settings.WindowsAuth = settings.DeleteMarked = settings.LogRequested = true;
    settings.LogDirectory = dir_.File("logs");

    EXPECT_FALSE(ExecuteRun(state_, settings));
    std::string log;
    for (const auto& file : std::filesystem::directory_iterator(settings.LogDirectory))
        log = testing::ReadFile(file.path().string());
    EXPECT_THAT(log,
                HasSubstr("repair refused (19)\r\nTable concerned: dim_customer\r\n"
                          "Error occured in task:\tDelete records.\r\nProgram terminated.\r\n"));
    EXPECT_EQ(Versions(), before);
    EXPECT_THAT(w_.Column("SELECT id FROM dim_brand"), ElementsAre("1"));
    // The repair writes no entry of its own: the finished table's, then the run's.
    const auto history = History();
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].TableName, "dim_brand");
    EXPECT_NE(history[1].Category, "Deleted dimensions");
    EXPECT_EQ(state_.DeletionConnection, nullptr);
}

TEST_F(PlainDeletionTest, CancelBetweenTablesKeepsTheTablesAlreadyDeleted) {
    Brands({1, 2}, {1, 2});
    Customers({V(1, "A", 1, "2020-01-01", kOpen, 1, 1)});
    CancelAfterPolls(1);

    EXPECT_FALSE(Delete(false));
    EXPECT_EQ(w_.Count("dim_brand"), 0);
    EXPECT_EQ(w_.Count("dim_customer"), 1);
    EXPECT_EQ(History().size(), 1u);
    EXPECT_EQ(state_.MessageText, "");
    EXPECT_EQ(state_.DeletionConnection, nullptr);
}

TEST_F(PlainDeletionTest, TablesWithoutWorkLeaveNoTrace) {
    // Selected and related but absent from the database; and an unselected dimension.
    w_.Register({.Table = "dim_gone"});
    w_.Relation("dim_gone", "id", "fact_sales", "customer_id");
    w_.Dimension("dim_kept", {"id INTEGER"}, {.PrimaryKey = "id", .Selected = false});
    w_.Relation("dim_kept", "id", "fact_sales", "brand_id");
    w_.Rows("dim_kept", {"id", "is_deletable"}, {{1, 1}});

    EXPECT_TRUE(Delete(false)) << state_.MessageText;
    EXPECT_EQ(w_.Count("dim_kept"), 1);
    EXPECT_TRUE(History().empty());
    EXPECT_EQ(state_.ActiveProgressWindow()->ProgressVal(), 0);
}

TEST_F(PlainDeletionTest, ATableWhoseRelationsDisagreeIsRepairedOnce) {
    Customers(
        {V(1, "A", 1, "2020-01-01", "2020-02-01", 0, 1), V(2, "A", 1, "2020-02-01", kOpen, 1, 0)});
    w_.Table("dim_segment", {"id INTEGER", "customer_id INTEGER"});
    // Listed first, with no element key: a plain relation to the same dimension.
    w_.Exec("UPDATE dwm_star_relations SET rowid = rowid + 10");
    w_.Relation("dim_customer", "id", "dim_segment", "customer_id",
                {.SlowlyChanging = false, .OriginalKey = testing::Cell(), .Selected = 1});
    w_.Exec("UPDATE dwm_star_relations SET rowid = 1 WHERE slow_moving_dim = 0");

    ASSERT_TRUE(Delete(false)) << state_.MessageText;
    EXPECT_THAT(Versions(), ElementsAre("2|2020-01-01|9999-12-31|1"));
    EXPECT_EQ(History().size(), 1u);
}

// Dates are written back in the form they had (plain days, fractions of a second);
// a real number in the key finds its element to the last bit.
TEST_F(PlainDeletionTest, RepairKeepsTheFormOfDatesAndFindsRealKeys) {
    w_.Dimension("dim_weight", {"id INTEGER", "grade REAL"},
                 {.PrimaryKey = "id", .OrgPkey = "grade", .SlowlyChanging = true});
    w_.Relation("dim_weight", "id", "fact_sales", "brand_id");
    w_.Exec(
        "INSERT INTO dim_weight (id, grade, start_date, end_date, is_current, is_deletable) "
        "VALUES (1, 0.1 + 0.2, '2020-01-01', '2020-02-01 10:00:00.500', 0, 1), "
        "(2, 0.1 + 0.2, '2020-02-01 10:00:00.500', '9999-12-31', 1, 0)");
    ASSERT_TRUE(Delete(false)) << state_.MessageText;
    EXPECT_THAT(w_.Lines("SELECT id, start_date, end_date FROM dim_weight"),
                ElementsAre("2|2020-01-01|9999-12-31"));
}

}  // namespace
}  // namespace varnel

#include "tasks/marking/marking.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "run/process_state.h"
#include "run/progress_window.h"
#include "tests/support/matchers.h"
#include "tests/support/run_doubles.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::WarehouseBuilder;

class MarkingTest : public testing::RunTest {
  protected:
    //! Runs the task on the builder's warehouse with a test window loaded.
    bool Mark() {
        state_.WarehouseConnection = w_.OpenConnection();
        RunSettings settings;
        settings.MarkUnused = true;
        auto window = std::make_unique<testing::TestProgressWindow>(
            std::make_shared<testing::WindowRecord>(), -1);
        window->Settings(settings);
        window_ = window.get();
        state_.InstallProgressWindow(std::move(window));
        settings.JobId = "job-1";
        return DetectUnusedElements(Context(settings, nullptr, "the.log"));
    }

    void Dim(const std::string& name, bool selected = true) {
        w_.Dimension(name, {"id INTEGER", "ref INTEGER"},
                     {.PrimaryKey = "id", .Selected = selected});
    }
    //! Rows of a Dim table, "(id, ref, is_deletable), ...".
    void Fill(const std::string& table, const std::string& rows) {
        w_.Exec("INSERT INTO " + table + " (id, ref, is_deletable) VALUES " + rows);
    }

    WarehouseBuilder w_;
    testing::TestProgressWindow* window_ = nullptr;
};

// fact -> dim_a -> dim_b -> dim_c: marks go down the snowflake, and kept rows stay. Beside it,
// two-column relations from two fact tables join on every pair; a row counts once per relation.
TEST_F(MarkingTest, MarksExactlyTheUnusedRowsDownTheSnowflake) {
    w_.Fact("fact_x", {"id INTEGER", "k1 INTEGER", "k2 VARCHAR(5)"});
    w_.Fact("fact_y", {"id INTEGER", "k1 INTEGER", "k2 VARCHAR(5)"});
    w_.Dimension("dim", {"a INTEGER", "b VARCHAR(5)"}, {.PrimaryKey = "a, b"});
    w_.Relation("dim", "a,b", "fact_x", "k1,k2");
    w_.Relation("dim", "a,b", "fact_y", "k1,k2");
    w_.Rows("dim", {"a", "b"}, {{1, "x"}, {1, "y"}, {2, "x"}});
    w_.Rows("fact_x", {"id", "k1", "k2"}, {{1, 1, "x"}, {2, 2, "y"}});  // (2,'y') matches nothing
    w_.Rows("fact_y", {"id", "k1", "k2"}, {{1, 1, "x"}});
    w_.Fact("fact", {"id INTEGER", "a_id INTEGER"});
    Dim("dim_a");
    Dim("dim_b");
    Dim("dim_c");
    w_.Relation("dim_a", "id", "fact", "a_id");
    w_.Relation("dim_b", "id", "dim_a", "ref");
    w_.Relation("dim_c", "id", "dim_b", "ref");
    w_.Rows("fact", {"id", "a_id"}, {{1, 1}, {2, 1}, {3, 2}});
    Fill("dim_a", "(1, 10, 0), (2, 10, 0), (3, 20, 0), (4, 30, 0)");  // 3 and 4 unused
    Fill("dim_b", "(10, 100, 0), (20, 200, 0), (30, 300, 0), (40, 400, 0)");
    Fill("dim_c", "(100, 0, 1), (200, 0, 1), (300, 0, 1), (400, 0, 1), (500, 0, 1)");
    w_.Exec("UPDATE dim_a SET is_sustainable = 1 WHERE id = 4");

    ASSERT_TRUE(Mark()) << state_.MessageText;
    EXPECT_THAT(w_.Marked("dim_a", "id"), ElementsAre("3"));
    // 30 is used by the kept row 4 of dim_a; 20 only by the marked row 3.
    EXPECT_THAT(w_.Marked("dim_b", "id"), ElementsAre("20", "40"));
    EXPECT_THAT(w_.Marked("dim_c", "id"), ElementsAre("200", "400", "500"));
    EXPECT_THAT(w_.Marked("dim", "a || b"), ElementsAre("1y", "2x"));

    // dim_a: rows 1 and 2 found in use; dim_b: 10 and 30; dim: (1,'x') once per relation.
    const auto history = testing::ReadJobHistory(HistoryPath());
    EXPECT_THAT(history, ::testing::UnorderedElementsAre(
                             testing::HistoryIs("Marked dimensions|dim_a|0|2"),
                             testing::HistoryIs("Marked dimensions|dim_b|0|2"),
                             testing::HistoryIs("Marked dimensions|dim|0|2"), ::testing::_));
    EXPECT_EQ(history[0].CountUnit + "|" + history[0].LogFile + "|" + history[0].JobId,
              "records marked|the.log|job-1");
    // Progress: five relations, the detection frame shown while marking, then put back.
    EXPECT_EQ(window_->ProgressMax(), 5.0f);
    EXPECT_FALSE(window_->FrameVisible(ProgressFrame::DetectProgFrame));
    EXPECT_TRUE(window_->FrameVisible(ProgressFrame::OverallProgFrame));
}

TEST_F(MarkingTest, TablesLeftAloneAndTheRowsTheyUse) {
    w_.Fact("fact", {"id INTEGER", "a_id INTEGER"});
    Dim("dim_a");
    Dim("unselected", false);
    Dim("only_unselected_uses");  // referred to by the unselected table alone
    w_.Relation("dim_a", "id", "fact", "a_id");
    w_.Relation("dim_a", "id", "unselected", "ref");
    w_.Relation("only_unselected_uses", "id", "unselected", "ref");
    w_.Rows("fact", {"id", "a_id"}, {{1, 1}});
    Fill("dim_a", "(1, NULL, 0), (2, NULL, 0), (3, NULL, 0)");
    // Row 7's mark means nothing to this run: it still uses dim_a's row 2 and is never deleted.
    Fill("unselected", "(6, 3, 0), (7, 2, 1)");
    Fill("only_unselected_uses", "(2, NULL, 1), (9, NULL, 1)");

    ASSERT_TRUE(Mark()) << state_.MessageText;
    EXPECT_THAT(w_.Marked("dim_a", "id"), IsEmpty());  // 1 by fact, 2 and 3 by unselected
    EXPECT_THAT(w_.Marked("unselected", "id"), ElementsAre("7"));     // untouched
    EXPECT_THAT(w_.Marked("only_unselected_uses", "id"), IsEmpty());  // never queued
    const auto history = testing::ReadJobHistory(HistoryPath());
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].TableName, "dim_a");
}

// A failing table is recorded and named, and its transaction takes the mark-all back.
TEST_F(MarkingTest, FailureInATableIsRecordedAndReported) {
    w_.Fact("fact", {"id INTEGER", "a_id INTEGER"});
    Dim("dim_a");
    w_.Relation("dim_a", "no_such_column", "fact", "a_id");
    Fill("dim_a", "(1, NULL, 0)");
    EXPECT_FALSE(Mark());
    EXPECT_THAT(state_.MessageText,
                ::testing::StartsWith("Marking table dim_a failed:\r\n[SQLite]no such column"));
    const auto history = testing::ReadJobHistory(HistoryPath());
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].Status + "|" + history[0].TableName, "3|dim_a");
    EXPECT_THAT(w_.Marked("dim_a", "id"), IsEmpty());
}

}  // namespace
}  // namespace varnel

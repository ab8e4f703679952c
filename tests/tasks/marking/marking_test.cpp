// Detect and mark on warehouses made with the builder, through the real driver.

#include "tasks/marking/marking.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "run/process_state.h"
#include "run/progress_window.h"
#include "tests/support/matchers.h"
#include "tests/support/run_doubles.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::Null;
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
    void Ids(const std::string& table, std::initializer_list<int> ids) {
        std::vector<std::vector<testing::Cell>> rows;
        for (int id : ids) rows.push_back({id});
        w_.Rows(table, {"id"}, rows);
    }
    void Refs(const std::string& table, std::initializer_list<std::pair<int, int>> rows) {
        std::vector<std::vector<testing::Cell>> cells;
        for (auto [id, ref] : rows) cells.push_back({id, ref});
        w_.Rows(table, {"id", "ref"}, cells);
    }

    WarehouseBuilder w_;
    testing::TestProgressWindow* window_ = nullptr;
};

// fact -> dim_a -> dim_b -> dim_c: marks go down the snowflake, and kept rows stay.
// Beside it, a two-column relation from each of two fact tables joins on every pair,
// and a row used by both counts once per relation.
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
    Refs("dim_a", {{1, 10}, {2, 10}, {3, 20}, {4, 30}});  // 3 and 4 unused
    Refs("dim_b", {{10, 100}, {20, 200}, {30, 300}, {40, 400}});
    Refs("dim_c", {{100, 0}, {200, 0}, {300, 0}, {400, 0}, {500, 0}});
    w_.Exec("UPDATE dim_a SET is_sustainable = 1 WHERE id = 4");
    w_.Exec("UPDATE dim_c SET is_deletable = 1");  // stale marks are reset first

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
    w_.Fact("fact", {"id INTEGER", "a_id INTEGER", "s_id INTEGER"});
    Dim("dim_a");
    Dim("unselected", false);
    Dim("hier");                  // selected but refers to itself
    Dim("only_unselected_uses");  // referred to by the unselected table alone
    Dim("cycle_1");
    Dim("cycle_2");
    w_.Relation("dim_a", "id", "fact", "a_id");
    w_.Relation("dim_a", "id", "unselected", "ref");
    w_.Relation("hier", "id", "fact", "s_id");
    w_.Relation("hier", "id", "hier", "ref");
    w_.Relation("only_unselected_uses", "id", "unselected", "ref");
    w_.Relation("cycle_1", "id", "cycle_2", "ref");
    w_.Relation("cycle_2", "id", "cycle_1", "ref");
    w_.Rows("fact", {"id", "a_id", "s_id"}, {{1, 1, Null}});
    Ids("dim_a", {1, 2, 3});
    // The unselected table's marks mean nothing to this run: row 7 is marked 1 but
    // still refers to dim_a's row 2, and deletion would never remove it.
    Refs("unselected", {{6, 3}, {7, 2}});
    w_.Exec("UPDATE unselected SET is_deletable = id - 6");
    Ids("hier", {1, 2});
    w_.Exec("UPDATE hier SET is_deletable = 1");
    Ids("only_unselected_uses", {2, 9});
    w_.Exec("UPDATE only_unselected_uses SET is_deletable = 1");
    Ids("cycle_1", {1});
    Ids("cycle_2", {1});
    w_.Exec("UPDATE cycle_1 SET is_deletable = 1");

    ASSERT_TRUE(Mark()) << state_.MessageText;
    EXPECT_THAT(w_.Marked("dim_a", "id"), IsEmpty());  // 1 by fact, 2 and 3 by unselected
    EXPECT_THAT(w_.Marked("unselected", "id"), ElementsAre("7"));     // untouched
    EXPECT_THAT(w_.Marked("hier", "id"), IsEmpty());                  // the reset, never marked
    EXPECT_THAT(w_.Marked("only_unselected_uses", "id"), IsEmpty());  // never queued
    EXPECT_THAT(w_.Marked("cycle_1", "id"), IsEmpty());
    EXPECT_THAT(w_.Marked("cycle_2", "id"), IsEmpty());
    const auto history = testing::ReadJobHistory(HistoryPath());
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].TableName, "dim_a");
}

TEST_F(MarkingTest, NothingToMarkIsNoFailure) {
    Dim("dim_a");
    Dim("dim_b", false);
    w_.Relation("dim_a", "id", "dim_b", "ref");
    Ids("dim_a", {1, 2});
    w_.Exec("UPDATE dim_a SET is_deletable = 1");
    ASSERT_TRUE(Mark()) << state_.MessageText;
    EXPECT_THAT(w_.Marked("dim_a", "id"), IsEmpty());
    const auto history = testing::ReadJobHistory(HistoryPath());
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].Message, "No tables were selected for marking unused elements.");
    EXPECT_EQ(history[0].Status, "0");
}

// A failing table is recorded with its name, the message names it, and its
// transaction takes the mark-all back.
TEST_F(MarkingTest, FailureInATableIsRecordedAndReported) {
    const struct {
        const char* Primary;
        const char* Message;
    } cases[] = {{"id,ref", "Subscript out of range"},  // fewer referring columns
                 {"no_such_column", "no such column.*\r\nTable concerned: dim_a\r\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Primary);
        w_ = WarehouseBuilder();
        w_.Fact("fact", {"id INTEGER", "a_id INTEGER"});
        Dim("dim_a");
        w_.Relation("dim_a", c.Primary, "fact", "a_id");
        Ids("dim_a", {1});
        std::filesystem::remove(HistoryPath());
        state_.MessageText.clear();
        EXPECT_FALSE(Mark());
        EXPECT_THAT(state_.MessageText, ::testing::ContainsRegex(c.Message));
        const auto history = testing::ReadJobHistory(HistoryPath());
        ASSERT_EQ(history.size(), 1u);
        EXPECT_EQ(history[0].Status + "|" + history[0].TableName, "3|dim_a");
        EXPECT_THAT(w_.Marked("dim_a", "id"), IsEmpty());
    }
}

}  // namespace
}  // namespace varnel

// Atomic deletion on real SQLite warehouses: an element goes only with all its
// versions, key values of any kind (quotes, dates, Null parts) find their rows,
// plain tables are deleted plainly, and a failure undoes the whole table.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/tasks/deletion/deletion_fixture.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::Null;
using testing::V;

constexpr const char* kOpen = "9999-12-31";

class AtomicDeletionTest : public testing::DeletionTest {
  protected:
    //! A slowly changing price list keyed by product and list date.
    void Prices() {
        w_.Dimension("dim_price", {"id INTEGER", "product VARCHAR(10)", "listed DATETIME"},
                     {.PrimaryKey = "id", .OrgPkey = "product,listed", .SlowlyChanging = true});
        w_.Relation("dim_price", "id", "fact_sales", "brand_id");
        w_.Versions("dim_price", {"id", "product", "listed"},
                    {V(1, "p", "2021-06-01 00:00:00", "2021-01-01", "2021-02-01", 0, 1),
                     V(2, "p", "2021-06-01 00:00:00", "2021-02-01", kOpen, 1, 1),
                     V(3, "p", "2021-07-01 00:00:00", "2021-01-01", kOpen, 1, 0)});
    }
};

TEST_F(AtomicDeletionTest, AnElementGoesOnlyWithAllItsVersions) {
    Customers({
        // Every version marked, whatever their number.
        V(1, "A", 1, "2020-01-01", "2020-02-01", 0, 1),
        V(2, "A", 1, "2020-02-01", "2020-03-01", 0, 1),
        V(3, "A", 1, "2020-03-01", kOpen, 1, 1),
        // One unmarked version keeps the marked ones too.
        V(4, "B", 1, "2020-01-01", "2020-02-01", 0, 1),
        V(5, "B", 1, "2020-02-01", "2020-03-01", 0, 0),
        V(6, "B", 1, "2020-03-01", kOpen, 1, 1),
        // A single marked version; a Null key part; a quote; and the element beside the Null one.
        V(7, "C", 1, "2020-01-01", kOpen, 1, 1),
        V(8, "G", Null, "2020-01-01", "2020-02-01", 0, 1),
        V(9, "G", Null, "2020-02-01", kOpen, 1, 1),
        V(10, "G", 1, "2020-01-01", kOpen, 1, 0),
        V(11, "O'Hara", 1, "2020-01-01", "2020-02-01", 0, 1),
        V(12, "O'Hara", 1, "2020-02-01", kOpen, 1, 1),
    });
    Prices();
    Brands({1, 2}, {2});

    ASSERT_TRUE(Delete(true)) << state_.MessageText;
    EXPECT_THAT(w_.Column("SELECT id FROM dim_customer ORDER BY id"),
                ElementsAre("4", "5", "6", "10"));
    EXPECT_THAT(w_.Column("SELECT id FROM dim_price ORDER BY id"), ElementsAre("3"));
    EXPECT_THAT(w_.Column("SELECT id FROM dim_brand"), ElementsAre("1"));
    // Nothing is repaired in atomic mode: the kept element keeps its dates and marks.
    EXPECT_THAT(w_.Marked("dim_customer", "id"), ElementsAre("4", "6"));

    std::vector<std::string> history;
    for (const auto& e : History())
        history.push_back(e.TableName + "|" + e.RecordCount + "|" + e.Remark + "|" + e.Category +
                          "|" + e.CountUnit + "|" + e.Status);
    EXPECT_THAT(
        history,
        ElementsAre("dim_brand|1|Atomic deletion=no|Deleted dimensions|records deleted|0",
                    "dim_customer|8|Atomic deletion=yes|Deleted dimensions|records deleted|0",
                    "dim_price|2|Atomic deletion=yes|Deleted dimensions|records deleted|0"));
}

TEST_F(AtomicDeletionTest, AFailureUndoesTheWholeTable) {
    Customers({V(1, "A", 1, "2020-01-01", kOpen, 1, 1), V(2, "B", 1, "2020-01-01", kOpen, 1, 1),
               V(3, "Z", 1, "2020-01-01", kOpen, 1, 1)});
    w_.Exec(
        "CREATE TRIGGER no_z BEFORE DELETE ON dim_customer WHEN OLD.code = 'Z' "
        "BEGIN SELECT RAISE(ABORT, 'deletion refused'); END");

    EXPECT_FALSE(Delete(true));
    EXPECT_THAT(state_.MessageText, HasSubstr("deletion refused"));
    EXPECT_EQ(w_.Count("dim_customer"), 3);
    const auto history = History();
    ASSERT_EQ(history.size(), 1u);
    // The count is of the rows deleted before the failure, then undone.
    EXPECT_EQ(history[0].Status + "|" + history[0].RecordCount + "|" + history[0].Remark,
              "3|2|Atomic deletion=yes");
}

// A window whose first poll lets another process change the warehouse.
struct MeddlingWindow : ProgressWindow {
    std::function<void()> Meddle;
    bool CheckCancelState() override {
        if (Meddle) std::exchange(Meddle, nullptr)();
        return false;
    }
};

TEST_F(AtomicDeletionTest, AVersionAddedAfterTheTaskStartedKeepsItsElement) {
    Customers({V(1, "A", 1, "2020-01-01", "2020-02-01", 0, 1),
               V(2, "A", 1, "2020-02-01", kOpen, 1, 1), V(3, "B", 1, "2020-01-01", kOpen, 1, 1)});
    auto window = std::make_unique<MeddlingWindow>();
    window->Meddle = [this] {
        auto other = w_.OpenConnection();
        other->Execute(
            "INSERT INTO dim_customer (id, code, region, start_date, end_date, "
            "is_current, is_deletable) VALUES (99, 'A', 1, '2021-01-01 00:00:00', "
            "'9999-12-31 00:00:00', 1, 0)");
    };
    state_.WarehouseConnection = w_.OpenConnection();
    state_.InstallProgressWindow(std::move(window));
    taskSettings_.AtomicDelete = true;
    taskSettings_.JobId = "job";
    ASSERT_TRUE(DeleteMarkedElements(Context(taskSettings_, nullptr, "run.txt")))
        << state_.MessageText;
    state_.WarehouseConnection.reset();
    EXPECT_THAT(w_.Column("SELECT id FROM dim_customer ORDER BY id"), ElementsAre("1", "2", "99"));
}

// The driver hands real numbers over with 15 significant digits: such a key is not
// found again, so the element's count disagrees and the table is refused whole.
TEST_F(AtomicDeletionTest, AnElementThatCannotBeFoundAgainStopsItsTable) {
    w_.Dimension("dim_weight", {"id INTEGER", "grade REAL"},
                 {.PrimaryKey = "id", .OrgPkey = "grade", .SlowlyChanging = true});
    w_.Relation("dim_weight", "id", "fact_sales", "brand_id");
    w_.Exec(
        "INSERT INTO dim_weight (id, grade, start_date, end_date, is_current, is_deletable) "
        "VALUES (1, 0.1 + 0.2, '2020-01-01 00:00:00', '9999-12-31 00:00:00', 1, 1)");
    EXPECT_FALSE(Delete(true));
    EXPECT_THAT(state_.MessageText,
                HasSubstr("changed while it was being deleted (1 expected, 0 found); "
                          "nothing was deleted from the table."));
    EXPECT_EQ(w_.Count("dim_weight"), 1);
}

}  // namespace
}  // namespace varnel

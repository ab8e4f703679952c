// The dimension checks dialog's data on a real SQLite warehouse: the tables list
// and its selection, the kept records written back by their ticks, and the
// rebuild of the typed records query.

#include "tasks/dimension_checks/dimension_checks.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tasks/dimension_checks/records_query.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class DimensionChecksTest : public ::testing::Test {
  protected:
    void SetUp() override {
        w_.Dimension("dim_store", {"id INTEGER", "code VARCHAR(10)"},
                     {.PrimaryKey = "id", .Selected = false});
        w_.Register({.Table = "dim_store", .Type = "Dimension", .Selected = 1});
        w_.Dimension("dim_colour", {"id INTEGER", "code VARCHAR(10)"},
                     {.PrimaryKey = "id", .Selected = false});
        w_.Register({.Table = "dim_gone", .Type = "DIMENSION", .Selected = 1});
        w_.Fact("fact_sales", {"id INTEGER"});
        w_.Rows("dim_colour", {"id", "code", "is_sustainable"},
                {{1, "red", 0}, {2, "green", 1}, {3, "blue", 0}, {4, "amber", 0}});
        db_ = w_.OpenConnection();
    }

    // The records of the typed query, as the dialog runs it.
    std::optional<EditableResult> Run(const std::string& typed) {
        std::string message;
        const auto statement = RebuildRecordsQuery(typed, message);
        EXPECT_TRUE(statement) << message;
        std::optional<EditableResult> records;
        EXPECT_TRUE(RunRecordsQuery(*db_, statement.value_or(""), records, message_)) << message_;
        return records;
    }

    static std::size_t RowOf(const EditableResult& records, const std::string& code) {
        for (std::size_t row = 0; row < records.RowCount(); ++row)
            if (records.Value(row, 2) == code) return row;
        ADD_FAILURE() << "no row " << code;
        return 0;
    }

    testing::WarehouseBuilder w_;
    std::unique_ptr<Connection> db_;
    std::string message_;
};

TEST_F(DimensionChecksTest, TablesAreListedOnceAndTheirSelectionSavedToEveryRow) {
    std::vector<DimensionTableItem> tables;
    ASSERT_TRUE(LoadDimensionTables(*db_, tables, message_)) << message_;
    // dim_store has two rows, one selected; dim_gone no longer exists.
    EXPECT_THAT(tables, ElementsAre(DimensionTableItem{"dim_colour", false},
                                    DimensionTableItem{"dim_store", true}));

    tables[0].Selected = true;
    tables[1].Selected = false;
    ASSERT_TRUE(SaveDimensionTableSelection(*db_, tables, message_)) << message_;
    EXPECT_THAT(
        w_.Lines("SELECT table_name, is_selected FROM dwm_tables ORDER BY rowid"),
        ElementsAre("dim_store|0", "dim_store|0", "dim_colour|1", "dim_gone|1", "fact_sales|0"));

    w_.Exec("DROP TABLE dwm_tables");
    EXPECT_FALSE(LoadDimensionTables(*db_, tables, message_));
    EXPECT_THAT(message_, HasSubstr("no such table: dwm_tables"));
    EXPECT_TRUE(tables.empty());
}

TEST_F(DimensionChecksTest, OnlyChangedTicksAreSavedToTheirOwnRowsAfterSorting) {
    auto records = Run("select * from dim_colour where id < 4");
    ASSERT_TRUE(records);
    std::string message;
    const std::string sorted = SortedRecordsQuery(
        *RebuildRecordsQuery("select * from dim_colour where id < 4", message), "code");
    ASSERT_TRUE(RunRecordsQuery(*db_, sorted, records, message_)) << message_;
    ASSERT_EQ(records->RowCount(), 3U);
    EXPECT_EQ(records->Value(0, 2), "blue");
    EXPECT_TRUE(IsRecordTicked(*records, RowOf(*records, "green")));

    SetRecordTick(*records, RowOf(*records, "blue"), true);
    SetRecordTick(*records, RowOf(*records, "green"), false);
    ASSERT_TRUE(SaveRecordSelection(*db_, &*records, message_)) << message_;
    EXPECT_THAT(w_.Lines("SELECT code, is_sustainable FROM dim_colour ORDER BY id"),
                ElementsAre("red|0", "green|0", "blue|1", "amber|0"));

    // A tick that reads as ticked in another form is no change either.
    w_.Exec("UPDATE dim_colour SET is_sustainable = -1 WHERE code = 'amber'");
    auto again = Run("select * from dim_colour where code = 'amber'");
    ASSERT_TRUE(again);
    SetRecordTick(*again, 0, true);
    EXPECT_EQ(again->ChangedRowCount(), 0U);
    EXPECT_FALSE(SaveRecordSelection(*db_, nullptr, message_));
    EXPECT_EQ(message_, "No Records to be saved.");
}

TEST(DimensionChecksTicksTest, AnyNonZeroValueTicks) {
    const struct {
        std::optional<std::string> Value;
        bool Ticked;
    } cases[] = {{"-1", true},   {"0", false}, {"0.0", false}, {" 2 ", true},
                 {"True", true}, {"x", false}, {"", false},    {std::nullopt, false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsTicked(c.Value), c.Ticked) << c.Value.value_or("<null>");
}

TEST(RecordsQueryTest, OnlyACommaInTheFromPartMakesAJoin) {
    const struct {
        std::string Query;
        bool Join;
    } cases[] = {
        {"select * from dim_a, dim_b where dim_a.id = dim_b.id", true},
        {"select * from dim_a d JOIN dim_b e ON d.id = e.id where d.x in (1, 2)", false},
        {"select code, name from dim_a where code in ('a', 'b')", false},
        {"select code from dim_a group by code, name", false},
        // The words are found inside longer words as well.
        {"select * from dim_somewhere, dim_b", false},
        {"select a, b", true},
    };
    for (const auto& c : cases) EXPECT_EQ(IsJoinQuery(c.Query), c.Join) << c.Query;
}

// A query whose words run out after TOP is refused with the word it stopped at.
TEST(RecordsQueryTest, TheTypedQueryIsRebuiltWithIsSustainableFirst) {
    const struct {
        std::string Typed;
        std::optional<std::string> Rebuilt;
        std::string Message = "";
    } cases[] = {
        {"select   *  from dim_a   where code = 'x'",
         "Select  is_sustainable, * from dim_a where code = 'x'  "},
        {"update * from dim_a", "Select  is_sustainable, * from dim_a  "},
        {"SELECT distinct code from dim_a", "Select distinct  is_sustainable, code from dim_a  "},
        {"select top 10 percent with ties code from dim_a order by code",
         "Select TOP 10 PERCENT WITH TIES  is_sustainable, code from dim_a order by code  "},
        {"select DISTINCT Top 5 * from dim_a",
         "Select DISTINCT TOP 5  is_sustainable, * from dim_a  "},
        // Tabs and line breaks are no separators.
        {"select *\tfrom dim_a\r\nwhere x = 1",
         "Select  is_sustainable, *\tfrom dim_a\r\nwhere x = 1  "},
        {"select", "Select  is_sustainable,  "},
        {"select top", std::nullopt, "nothing follows top."},
        {"select top 5 percent   ", std::nullopt, "nothing follows percent."},
        {"select top 5 with ties", std::nullopt, "nothing follows with ties."},
    };
    for (const auto& c : cases) {
        std::string message;
        EXPECT_EQ(RebuildRecordsQuery(c.Typed, message), c.Rebuilt) << c.Typed;
        EXPECT_EQ(message, c.Message.empty() ? "" : "The query cannot be run, because " + c.Message)
            << c.Typed;
    }
}

}  // namespace
}  // namespace varnel

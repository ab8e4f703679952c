// The dimension checks dialog's data on a real SQLite warehouse: the tables list
// and its selection, and the kept records written back by their ticks.

#include "tasks/dimension_checks/dimension_checks.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tasks/dimension_checks/records_query.h"
#include "tests/support/warehouse_builder.h"
#include "warehouse/sql_dialect.h"

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
    EXPECT_EQ(DimensionTableListQuery(DialectFor(Engine::SqlServer)),
              "SELECT DISTINCT MAX(CONVERT(int, is_selected)) as is_selected, table_name FROM "
              "dwm_tables WHERE UPPER(table_type) = 'DIMENSION' GROUP BY table_name ORDER BY "
              "table_name");
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

}  // namespace
}  // namespace varnel

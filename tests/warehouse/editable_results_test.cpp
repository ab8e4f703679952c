#include "warehouse/editable_results.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/warehouse_builder.h"
#include "warehouse/list_columns.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

class EditableResultsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        w_.Dimension("dim_colour", {"id INTEGER", "code VARCHAR(10)"}, {.PrimaryKey = "id"});
        w_.Rows("dim_colour", {"id", "code", "is_sustainable"},
                {{1, "red", 0}, {2, "green", 1}, {3, "blue", 0}, {4, "amber", 0}});
    }

    //! Sets the tick of the row whose last column holds the code.
    static void Tick(EditableResult& result, const std::string& code, const char* value) {
        for (std::size_t row = 0; row < result.RowCount(); ++row)
            if (result.Value(row, result.Columns().size() - 1) == code)
                return result.SetValue(row, 0, value);
        ADD_FAILURE() << "no row " << code;
    }

    testing::WarehouseBuilder w_;
    std::unique_ptr<Connection> db_ = w_.OpenConnection();
};

// Which ticks count as changes the dimension checks' tests show; here: rows are found
// by their identity, not by the values read, and a save is all or nothing.
TEST_F(EditableResultsTest, RowsAreWrittenByTheirIdentityAllOrNothing) {
    auto result = OpenEditableResult(
        *db_, "Select  is_sustainable, id, code from dim_colour d where d.id > 0");
    ASSERT_EQ(result.ReadOnlyReason(), "");
    Tick(result, "red", "1");
    Tick(result, "amber", "1");
    w_.Exec("UPDATE dim_colour SET code = 'crimson' WHERE id = 1");  // after the read
    w_.Exec("DELETE FROM dim_colour WHERE code = 'amber'");
    // An update that finds no row undoes the others; the changes stay for another try.
    EXPECT_THAT(
        [&] { SaveEditableChanges(*db_, result); },
        ThrowsMessage<std::runtime_error>(HasSubstr("touched 0 rows instead of exactly one")));
    EXPECT_EQ(w_.Value("SELECT is_sustainable FROM dim_colour WHERE id = 1"), "0");
    EXPECT_EQ(result.ChangedRowCount(), 2U);
    w_.Exec("INSERT INTO dim_colour (id, code) VALUES (4, 'amber')");
    EXPECT_EQ(SaveEditableChanges(*db_, result), 2U);
    EXPECT_THAT(w_.Lines("SELECT id, code, is_sustainable FROM dim_colour ORDER BY id"),
                ElementsAre("1|crimson|1", "2|green|1", "3|blue|0", "4|amber|1"));
    EXPECT_EQ(SaveEditableChanges(*db_, result), 0U);
}

TEST_F(EditableResultsTest, ResultsWithoutIdentityAreShownButNotSaved) {
    w_.Table("dim_shade", {"code VARCHAR(10)", "is_sustainable INTEGER"});
    w_.Exec("CREATE TABLE dim_keyed (code TEXT PRIMARY KEY, is_sustainable INTEGER) WITHOUT ROWID");
    const std::pair<std::string, std::string> cases[] = {
        {"select distinct is_sustainable, code from dim_colour", "uses DISTINCT"},
        {"select d.is_sustainable from dim_colour AS d LEFT OUTER JOIN dim_shade s ON 1 = 1",
         "joins tables"},
        {"select is_sustainable from (select * from dim_colour)", "reads no table by its name"},
        {"select is_sustainable from dim_keyed", "dim_keyed has no row identity"},
    };
    for (const auto& [query, reason] : cases) {
        auto result = OpenEditableResult(*db_, query);
        EXPECT_THAT(result.ReadOnlyReason(), HasSubstr(reason)) << query;
        EXPECT_THROW(SaveEditableChanges(*db_, result), std::runtime_error);
    }
    // Commas, subqueries and words in literals do not count against the one table.
    auto plain = OpenEditableResult(
        *db_,
        "select is_sustainable, code, 'a, b join c' as note from \"dim_colour\" where id in"
        " (select id from dim_colour group by id) order by code, id");
    EXPECT_EQ(plain.ReadOnlyReason(), "");
    EXPECT_EQ(plain.Table(), "\"dim_colour\"");
}

TEST_F(EditableResultsTest, ListsShowNoCheckColumn) {
    EXPECT_THAT(ShownColumns({{"is_sustainable"}, {"code"}, {"IS_SELECTED"}, {"name"}}),
                ElementsAre(1U, 3U));
    EXPECT_THAT(TableListHeaders(*db_, " DIM_COLOUR "), ElementsAre("id", "code", "is_deletable"));
}

}  // namespace
}  // namespace varnel

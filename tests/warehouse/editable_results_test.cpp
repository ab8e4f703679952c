// Editable results on a real SQLite file: rows are written back by their identity,
// changed rows only, all or nothing; results without an identity are refused.

#include "warehouse/editable_results.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::WarehouseBuilder;

class EditableResultsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        w_.Dimension("dim_colour", {"id INTEGER", "code VARCHAR(10)"}, {.PrimaryKey = "id"});
        w_.Rows("dim_colour", {"id", "code", "is_sustainable"},
                {{1, "red", 0}, {2, "green", 1}, {3, "blue", 0}, {4, "amber", 0}});
        db_ = w_.OpenConnection();
    }

    // The row of an element, its code in the last column.
    std::size_t RowOf(const EditableResult& result, const std::string& code) {
        for (std::size_t row = 0; row < result.RowCount(); ++row)
            if (result.Value(row, result.Columns().size() - 1) == code) return row;
        ADD_FAILURE() << "no row " << code;
        return 0;
    }

    WarehouseBuilder w_;
    std::unique_ptr<Connection> db_;
};

TEST_F(EditableResultsTest, ChangedRowsAreWrittenToTheirOwnRowsWhateverTheOrder) {
    auto result = OpenEditableResult(
        *db_,
        "Select  is_sustainable, id, code from dim_colour d where d.code <> 'amber' ORDER BY code");
    ASSERT_EQ(result.ReadOnlyReason(), "");
    EXPECT_EQ(result.Columns().front().Name, "is_sustainable");
    ASSERT_EQ(result.RowCount(), 3U);
    EXPECT_EQ(result.Value(0, 2), "blue");

    result.SetValue(RowOf(result, "blue"), 0, "1");
    result.SetValue(RowOf(result, "green"), 0, "0");
    // Changed and changed back: not written.
    result.SetValue(RowOf(result, "red"), 0, "1");
    result.SetValue(RowOf(result, "red"), 0, "0");
    EXPECT_EQ(result.ChangedRowCount(), 2U);

    w_.Exec("UPDATE dim_colour SET code = 'crimson' WHERE id = 1");  // after the read
    EXPECT_EQ(SaveEditableChanges(*db_, result), 2U);
    EXPECT_THAT(w_.Lines("SELECT id, code, is_sustainable FROM dim_colour ORDER BY id"),
                ElementsAre("1|crimson|0", "2|green|0", "3|blue|1", "4|amber|0"));
    // The values now stand as read: a second save writes nothing.
    EXPECT_EQ(result.ChangedRowCount(), 0U);
    EXPECT_EQ(SaveEditableChanges(*db_, result), 0U);
}

TEST_F(EditableResultsTest, AnUpdateThatFindsNoRowSavesNothing) {
    auto result = OpenEditableResult(*db_, "select is_sustainable, id, code from dim_colour");
    result.SetValue(RowOf(result, "red"), 0, "1");
    result.SetValue(RowOf(result, "amber"), 0, "1");
    w_.Exec("DELETE FROM dim_colour WHERE code = 'amber'");

    EXPECT_THAT([&] { SaveEditableChanges(*db_, result); },
                ::testing::ThrowsMessage<std::runtime_error>(
                    HasSubstr("touched 0 rows instead of exactly one")));
    // red's write was rolled back with the rest; the changes stay for another try.
    EXPECT_EQ(w_.Value("SELECT is_sustainable FROM dim_colour WHERE code = 'red'"), "0");
    EXPECT_EQ(result.ChangedRowCount(), 2U);
}

TEST_F(EditableResultsTest, ResultsWithoutIdentityAreShownButNotSaved) {
    w_.Table("dim_shade", {"code VARCHAR(10)", "is_sustainable INTEGER"});
    w_.Exec(
        "CREATE TABLE dim_keyed (code VARCHAR(10) PRIMARY KEY, is_sustainable INTEGER)"
        " WITHOUT ROWID");
    w_.Exec("CREATE VIEW dim_view AS SELECT code, is_sustainable FROM dim_colour");
    const struct {
        std::string Query;
        std::string Reason;
    } cases[] = {
        {"select distinct is_sustainable, code from dim_colour", "uses DISTINCT"},
        {"select is_sustainable, count(*) from dim_colour group by is_sustainable",
         "sums up rows (COUNT)"},
        {"select max(is_sustainable), code from dim_colour where id > 1", "sums up rows (MAX)"},
        {"select is_sustainable, code from dim_colour group by is_sustainable, code",
         "groups rows (GROUP)"},
        {"select d.is_sustainable, s.code from dim_colour d, dim_shade s", "joins tables"},
        {"select d.is_sustainable from dim_colour d join dim_shade s on s.code = d.code",
         "joins tables"},
        {"select d.is_sustainable from dim_colour AS d LEFT OUTER JOIN dim_shade s ON 1 = 1",
         "joins tables"},
        {"select is_sustainable from dim_colour union select is_sustainable from dim_shade",
         "combines queries (UNION)"},
        {"select is_sustainable from (select * from dim_colour)", "reads no table by its name"},
        {"select is_sustainable from dim_keyed", "dim_keyed has no row identity"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Query);
        auto result = OpenEditableResult(*db_, c.Query);
        EXPECT_THAT(result.ReadOnlyReason(), HasSubstr(c.Reason));
        EXPECT_EQ(result.Table(), "");
        EXPECT_THAT([&] { SaveEditableChanges(*db_, result); },
                    ::testing::Throws<std::runtime_error>());
    }
    // Commas, subqueries and words in literals do not count against the one table.
    auto plain = OpenEditableResult(
        *db_,
        "select is_sustainable, code, 'a, b join c' as note from \"dim_colour\" where id in"
        " (select id from dim_colour group by id) order by code, id");
    EXPECT_EQ(plain.ReadOnlyReason(), "");
    EXPECT_EQ(plain.Table(), "\"dim_colour\"");
    // A view reads as its table does, but the engine refuses its writes: nothing is saved.
    auto view = OpenEditableResult(*db_, "select is_sustainable, code from dim_view");
    view.SetValue(RowOf(view, "red"), 0, "1");
    EXPECT_THAT([&] { SaveEditableChanges(*db_, view); },
                ::testing::ThrowsMessage<OdbcError>(HasSubstr("dim_view")));
    EXPECT_EQ(w_.Count("dim_colour", "is_sustainable = 1"), 1);
    // A query that fails fails as typed, not with the identity's columns.
    EXPECT_THAT([&] { OpenEditableResult(*db_, "select is_sustainable from dim_nothing"); },
                ::testing::ThrowsMessage<OdbcError>(HasSubstr("no such table: dim_nothing")));
}

}  // namespace
}  // namespace varnel

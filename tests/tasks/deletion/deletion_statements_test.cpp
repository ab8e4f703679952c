// The deletion task's statements as each engine receives them, and how read
// values are typed for binding.

#include "tasks/deletion/deletion_statements.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tasks/deletion/reference_check.h"
#include "tests/support/matchers.h"

namespace varnel {
namespace {

const SqlServerDialect kSqlServer;
const SqliteDialect kSqlite;

TEST(DeletionStatementsTest, TextsMatchCharacterForCharacter) {
    const std::pair<std::string, std::string> cases[] = {
        {DeletionTableListQuery(kSqlServer),
         "SELECT table_name,MAX(CONVERT(int, slow_moving_dim)) AS slow_moving_dim FROM "
         "dwm_tables,dwm_star_relations WHERE UPPER(table_type) = 'DIMENSION' AND "
         "dwm_star_relations.primary_table = dwm_tables.table_name AND dwm_tables.is_selected = 1 "
         "GROUP BY table_name"},
        {AtomicElementKeyQuery("dim_o'hara"),
         "SELECT original_primary_key FROM dwm_star_relations WHERE primary_table = 'dim_o''hara'"},
        {ElementGroupQuery("D", "c, n "),
         "SELECT c, n , Count(*) As CntAll, Count( Case is_deletable When 1 then 1 End ) As "
         "CntDeletable FROM D GROUP BY c, n "},
        {DeleteElementStatement("D", {"c", "n"}, {true, false}),
         "DELETE FROM D WHERE c IS NULL AND n = ?"},
        // The identity may hold start_date itself: every column gets a name of its own.
        {ElementVersionsQuery(kSqlServer, "D", "c, n", {"id", "start_date"}),
         "SELECT * FROM (SELECT id AS repair_id1, start_date AS repair_id2, DENSE_RANK() "
         "OVER (ORDER BY c, n) AS repair_element, start_date AS repair_start, end_date AS "
         "repair_end, CONVERT(date, start_date) AS repair_start_day, CONVERT(date, end_date) "
         "AS repair_end_day, is_current AS repair_current, CASE WHEN is_deletable = 1 THEN 1 "
         "ELSE 0 END AS repair_marked, MAX(CASE WHEN is_deletable = 1 THEN 1 ELSE 0 END) "
         "OVER (PARTITION BY c, n) AS repair_element_marked FROM D) versions WHERE "
         "repair_element_marked = 1 ORDER BY repair_element, repair_start, repair_id1, "
         "repair_id2"},
        {KeepReferencedRowsStatement(kSqlServer, "dim_store", "fact_sales", "code, region",
                                     " store_code ,store_region"),
         "UPDATE dim_store SET is_deletable = 0 WHERE is_deletable = 1 AND EXISTS (SELECT 1 FROM "
         "fact_sales AS referrer WITH (HOLDLOCK) WHERE dim_store.code = referrer.store_code AND "
         "dim_store.region = referrer.store_region)"},
    };
    for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);
    EXPECT_THROW(KeepReferencedRowsStatement(kSqlite, "d", "f", "a,b", "x"), std::runtime_error);
}

// A key bound as Null matches no row with "= ?": only a Null value may be bound so;
// one that cannot be bound as its column's kind is an error or, if whole, its text.
// SQLite compares the text it holds: dates go back to it as they were read.
TEST(DeletionStatementsTest, KeyValuesAreNeverBoundAsNullUnlessTheyAreNull) {
    const ColumnInfo date{"start_date", ColumnKind::Date, 23, 3, false};
    const ColumnInfo whole{"id", ColumnKind::Whole, 10, 0, false};
    EXPECT_THAT([&] { ColumnValueParameter(date, "not a date", kSqlServer); },
                testing::ThrowsWithMessage("'not a date' of start_date is no date"));
    EXPECT_THAT([] { DateValueParameter("end_date", "soon", kSqlite); },
                testing::ThrowsWithMessage<std::runtime_error>("soon"));
    const struct {
        const SqlDialect& Dialect;
        ColumnInfo Column;
        std::optional<std::string> Read;
        Value Bound;
    } cases[] = {
        {kSqlServer, date, "2005-03-07 10:20:30.000", Timestamp{2005, 3, 7, 10, 20, 30}},
        {kSqlite, date, "2005-03-07", std::string("2005-03-07")},
        {kSqlServer, date, std::nullopt, Value{}},
        {kSqlServer, whole, "12", std::int64_t{12}},
        {kSqlServer, whole, "12a", std::string("12a")},
        {kSqlServer, whole, std::nullopt, Value{}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Read.value_or("Null"));
        EXPECT_EQ(ColumnValueParameter(c.Column, c.Read, c.Dialect).Data, c.Bound);
    }
    EXPECT_EQ(std::get<Timestamp>(DateValueParameter("end_date", "2005-03-07", kSqlServer).Data),
              (Timestamp{2005, 3, 7, 0, 0, 0}));
    EXPECT_EQ(DateValueParameter("end_date", "2005-03-07", kSqlite).Type, ValueType::Text);
}

}  // namespace
}  // namespace varnel

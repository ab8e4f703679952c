// The deletion task's statements as each engine receives them, byte for byte, and
// how read values are typed for binding.

#include "tasks/deletion/deletion_statements.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/matchers.h"

namespace varnel {
namespace {

const SqlServerDialect kSqlServer;
const SqliteDialect kSqlite;

TEST(DeletionStatementsTest, DriverStatements) {
    EXPECT_EQ(
        SelectedDimensionCountQuery(),
        "SELECT COUNT(*) FROM dwm_tables WHERE UPPER(table_type)='DIMENSION' AND is_selected = 1");
    const struct {
        const SqlDialect& Dialect;
        std::string IntOfFlag;
    } cases[] = {{kSqlServer, "CONVERT(int, slow_moving_dim)"},
                 {kSqlite, "CAST(slow_moving_dim AS INTEGER)"}};
    for (const auto& c : cases)
        EXPECT_EQ(DeletionTableListQuery(c.Dialect),
                  "SELECT table_name,MAX(" + c.IntOfFlag +
                      ") AS slow_moving_dim FROM dwm_tables,dwm_star_relations WHERE "
                      "UPPER(table_type) = 'DIMENSION' AND dwm_star_relations.primary_table = "
                      "dwm_tables.table_name AND dwm_tables.is_selected = 1 GROUP BY table_name");
    EXPECT_EQ(DeleteMarkedRowsStatement("dim_customer"),
              "DELETE FROM dim_customer WHERE is_deletable = 1");
}

TEST(DeletionStatementsTest, AtomicStatementsBindEveryKeyValue) {
    EXPECT_EQ(
        AtomicElementKeyQuery("dim_o'hara"),
        "SELECT original_primary_key FROM dwm_star_relations WHERE primary_table = 'dim_o''hara'");
    EXPECT_EQ(ElementGroupQuery("D", "c, n "),
              "SELECT c, n , Count(*) As CntAll, Count( Case is_deletable When 1 then 1 End ) As "
              "CntDeletable FROM D GROUP BY c, n ");
    EXPECT_EQ(DeleteElementStatement("D", {"c", "n"}, {}), "DELETE FROM D WHERE c = ? AND n = ?");
    EXPECT_EQ(DeleteElementStatement("D", {"c", "n"}, {true, false}),
              "DELETE FROM D WHERE c IS NULL AND n = ?");
}

TEST(DeletionStatementsTest, RepairStatements) {
    EXPECT_EQ(
        RepairElementKeyQuery("D"),
        "SELECT DISTINCT original_primary_key FROM dwm_star_relations WHERE primary_table = 'D'");
    // The identity may hold start_date itself: every column gets a name of its own.
    const struct {
        const SqlDialect& Dialect;
        std::vector<std::string> Identity;
        std::string Expected;
    } cases[] = {
        {kSqlServer,
         {"id", "start_date"},
         "SELECT * FROM (SELECT id AS repair_id1, start_date AS repair_id2, DENSE_RANK() "
         "OVER (ORDER BY c, n) AS repair_element, start_date AS repair_start, end_date AS "
         "repair_end, CONVERT(date, start_date) AS repair_start_day, CONVERT(date, end_date) "
         "AS repair_end_day, is_current AS repair_current, CASE WHEN is_deletable = 1 THEN 1 "
         "ELSE 0 END AS repair_marked, MAX(CASE WHEN is_deletable = 1 THEN 1 ELSE 0 END) "
         "OVER (PARTITION BY c, n) AS repair_element_marked FROM D) versions WHERE "
         "repair_element_marked = 1 ORDER BY repair_element, repair_start, repair_id1, "
         "repair_id2"},
        {kSqlite,
         {"rowid"},
         "SELECT * FROM (SELECT rowid AS repair_id1, DENSE_RANK() OVER (ORDER BY c, n) AS "
         "repair_element, start_date AS repair_start, end_date AS repair_end, date(start_date) "
         "AS repair_start_day, date(end_date) AS repair_end_day, is_current AS repair_current, "
         "CASE WHEN is_deletable = 1 THEN 1 ELSE 0 END AS repair_marked, MAX(CASE WHEN "
         "is_deletable = 1 THEN 1 ELSE 0 END) OVER (PARTITION BY c, n) AS "
         "repair_element_marked FROM D) versions WHERE repair_element_marked = 1 ORDER BY "
         "repair_element, repair_start, repair_id1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ElementVersionsQuery(c.Dialect, "D", "c, n", c.Identity), c.Expected);
    EXPECT_EQ(RepairedVersionStatement("D", {"id", "start_date"}, true, false, false),
              "UPDATE D SET start_date = ? WHERE id = ? AND start_date = ?");
    EXPECT_EQ(RepairedVersionStatement("D", {"id"}, false, true, true),
              "UPDATE D SET end_date = ?, is_current = 1 WHERE id = ?");
    EXPECT_EQ(RepairedVersionStatement("D", {"rowid"}, true, true, true),
              "UPDATE D SET start_date = ?, end_date = ?, is_current = 1 WHERE rowid = ?");
}

TEST(DeletionStatementsTest, DatesAreBoundAsTimestampsOnSqlServerAndAsReadOnSqlite) {
    const ColumnInfo date{"listed", ColumnKind::Date, 23, 3, true};
    const auto onServer = ColumnValueParameter(date, "2005-03-07 10:20:30.000", kSqlServer);
    EXPECT_EQ(std::get<Timestamp>(onServer.Data), (Timestamp{2005, 3, 7, 10, 20, 30}));
    EXPECT_EQ(
        std::get<Timestamp>(DateValueParameter("end_date", "2005-03-07 10:20:30", kSqlServer).Data),
        (Timestamp{2005, 3, 7, 10, 20, 30}));
    // SQLite compares the text it holds: '2005-03-07' never equals '2005-03-07 00:00:00'.
    const auto onSqlite = ColumnValueParameter(date, "2005-03-07", kSqlite);
    EXPECT_EQ(std::get<std::string>(onSqlite.Data), "2005-03-07");
    const auto kept = DateValueParameter("end_date", "2005-03-07", kSqlite);
    EXPECT_EQ(kept.Type, ValueType::Text);
    EXPECT_EQ(std::get<std::string>(kept.Data), "2005-03-07");
    // A text that is no date is refused on either engine before anything is written.
    EXPECT_THAT([] { DateValueParameter("end_date", "soon", kSqlite); },
                testing::ThrowsWithMessage<std::runtime_error>("soon"));
}

// A key bound as Null matches no row with "= ?": only a Null value may be bound so;
// one that cannot be bound as its column's kind is an error or, if whole, its text.
TEST(DeletionStatementsTest, KeyValuesAreNeverBoundAsNullUnlessTheyAreNull) {
    const ColumnInfo date{"start_date", ColumnKind::Date, 23, 3, false};
    const ColumnInfo whole{"id", ColumnKind::Whole, 10, 0, false};
    EXPECT_THAT([&] { ColumnValueParameter(date, "not a date", kSqlServer); },
                testing::ThrowsWithMessage("'not a date' of start_date is no date"));
    const struct {
        ColumnInfo Column;
        std::optional<std::string> Read;
        Value Bound;
    } cases[] = {
        {date, std::nullopt, Value{}},
        {whole, "12", Value{std::int64_t{12}}},
        {whole, "12a", Value{std::string("12a")}},
        {whole, std::nullopt, Value{}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Read.value_or("Null"));
        EXPECT_EQ(ColumnValueParameter(c.Column, c.Read, kSqlServer).Data, c.Bound);
    }
}

}  // namespace
}  // namespace varnel

// The deletion task's statements as SQL Server receives them, byte for byte, the
// SQLite forms where they differ, and how read values are typed for binding.

#include "tasks/deletion/deletion_statements.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

TEST(DeletionStatementsTest, DriverStatementsOnSqlServer) {
    EXPECT_EQ(
        SelectedDimensionCountQuery(),
        "SELECT COUNT(*) FROM dwm_tables WHERE UPPER(table_type)='DIMENSION' AND is_selected = 1");
    EXPECT_EQ(DeletionTableListQuery(Engine::SqlServer),
              "SELECT table_name,MAX(CONVERT(int, slow_moving_dim)) AS slow_moving_dim FROM "
              "dwm_tables,dwm_star_relations WHERE UPPER(table_type) = 'DIMENSION' AND "
              "dwm_star_relations.primary_table = dwm_tables.table_name AND "
              "dwm_tables.is_selected = 1 GROUP BY table_name");
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

TEST(DeletionStatementsTest, RepairStatementsOnSqlServer) {
    EXPECT_EQ(
        RepairElementKeyQuery("D"),
        "SELECT DISTINCT original_primary_key FROM dwm_star_relations WHERE primary_table = 'D'");
    EXPECT_EQ(MoveSuccessorStartStatement(Engine::SqlServer, "D", {"c", "n"}, {}),
              "UPDATE D SET start_date = ? WHERE c = ? AND n = ? AND  (datediff(day, ?, "
              "start_date) = 0) ");
    EXPECT_EQ(MovePredecessorEndStatement(Engine::SqlServer, "D", {"c", "n"}, {}),
              "UPDATE D SET end_date = ?, is_current = 1 WHERE c = ? AND n = ? AND  "
              "(datediff(day,end_date,?) = 0)");
    EXPECT_EQ(MoveSuccessorStartStatement(Engine::SqlServer, "D", {"c", "n"}, {false, true}),
              "UPDATE D SET start_date = ? WHERE c = ? AND n IS NULL AND  (datediff(day, ?, "
              "start_date) = 0) ");
    EXPECT_EQ(MarkedVersionsQuery("D", "c, n", {"id", "valid"}),
              "SELECT id, valid FROM D WHERE is_deletable = 1 ORDER BY c, n,start_date");
    EXPECT_EQ(VersionQuery("D", {"c", "n"}, {"id", "valid"}),
              "SELECT c, n, start_date, end_date, is_current FROM D WHERE id = ? AND valid = ?");
    EXPECT_EQ(
        PrimaryKeyColumnsQuery(),
        "SELECT kcu.COLUMN_NAME FROM INFORMATION_SCHEMA.TABLE_CONSTRAINTS tc JOIN "
        "INFORMATION_SCHEMA.KEY_COLUMN_USAGE kcu ON kcu.CONSTRAINT_SCHEMA = tc.CONSTRAINT_SCHEMA "
        "AND kcu.CONSTRAINT_NAME = tc.CONSTRAINT_NAME WHERE tc.CONSTRAINT_TYPE = 'PRIMARY KEY' "
        "AND tc.TABLE_NAME = ? ORDER BY kcu.ORDINAL_POSITION");
}

TEST(DeletionStatementsTest, RepairStatementsOnSqliteCompareDaysWithDate) {
    EXPECT_EQ(DeletionTableListQuery(Engine::Sqlite).substr(0, 65),
              "SELECT table_name,MAX(CAST(slow_moving_dim AS INTEGER)) AS slow_m");
    EXPECT_EQ(MoveSuccessorStartStatement(Engine::Sqlite, "D", {"c"}, {}),
              "UPDATE D SET start_date = ? WHERE c IS (SELECT c FROM D WHERE rowid = ?) AND  "
              "(date(?) = date(start_date)) ");
    EXPECT_EQ(MovePredecessorEndStatement(Engine::Sqlite, "D", {"c", "n"}, {true}),
              "UPDATE D SET end_date = ?, is_current = 1 WHERE c IS (SELECT c FROM D WHERE rowid "
              "= ?) AND n IS (SELECT n FROM D WHERE rowid = ?) AND  (date(end_date) = date(?))");
}

TEST(DeletionStatementsTest, DatesAreBoundAsTimestampsOnSqlServerAndAsReadOnSqlite) {
    const ColumnInfo date{"listed", SQL_TYPE_TIMESTAMP, 23, 3, true};
    const auto onServer = ColumnValueParameter(date, "2005-03-07 10:20:30.000", Engine::SqlServer);
    EXPECT_EQ(std::get<Timestamp>(onServer.Data), (Timestamp{2005, 3, 7, 10, 20, 30}));
    // SQLite compares the text it holds: '2005-03-07' never equals '2005-03-07 00:00:00'.
    const auto onSqlite = ColumnValueParameter(date, "2005-03-07", Engine::Sqlite);
    EXPECT_EQ(std::get<std::string>(onSqlite.Data), "2005-03-07");
}

}  // namespace
}  // namespace varnel

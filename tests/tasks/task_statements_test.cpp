#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tasks/archiving/archive_statements.h"
#include "tasks/deletion/deletion_statements.h"
#include "tasks/deletion/reference_check.h"
#include "tasks/dimension_checks/dimension_checks.h"
#include "tasks/marking/marking_statements.h"
#include "tests/support/matchers.h"
#include "warehouse/version_history.h"

namespace varnel {
namespace {

const SqlServerDialect kSqlServer;
const SqliteDialect kSqlite;
const std::string kDate = "2005-03-07 23:05:09";
const std::string kCondition = "sale_date < '2004-01-01'";

// The archive's spelling of a name goes into the INSERT, the fact table's into the SELECT.
const std::vector<archive_sql::CopiedColumn> kColumns = {
    {"id", "ID"}, {"sale_date", "sale_date"}, {"odd]name", "odd]name"}};

TEST(TaskStatementsTest, TextsMatchCharacterForCharacter) {
    const std::pair<std::string, std::string> cases[] = {
        {archive_sql::LinkedServerCopy("ARCHSRV", "archive_db", "fact_sales", kColumns, kDate,
                                       kCondition),
         "insert into \"ARCHSRV\".\"archive_db\".dbo.\"fact_sales\" "
         "([ID], [sale_date], [odd]]name], date_of_archiving) "
         "select [id], [sale_date], [odd]]name], {ts '2005-03-07 23:05:09'} "
         "from \"fact_sales\" where sale_date < '2004-01-01'"},
        // A quote in the login cannot end its literal.
        {archive_sql::OpenRowsetCopy("ARCHSRV", "o'neil", "p'w", "archive_db", "fact_sales",
                                     kColumns, kDate, kCondition),
         "insert into OPENROWSET('SQLOLEDB', 'ARCHSRV'; 'o''neil'; 'p''w', "
         "archive_db.dbo.fact_sales) ([ID], [sale_date], [odd]]name], date_of_archiving) "
         "select [id], [sale_date], [odd]]name], {ts '2005-03-07 23:05:09'} "
         "from fact_sales where sale_date < '2004-01-01'"},
        {archive_sql::AddArchiveDateColumn("fact_sales"),
         "ALTER TABLE fact_sales ADD date_of_archiving datetime NOT NULL DEFAULT getdate() "
         "WITH VALUES"},
        {archive_sql::AddArchiveKey("fact_sales", {"pk_sales", {"id", "line"}}),
         "ALTER TABLE fact_sales ADD CONSTRAINT pk_sales PRIMARY KEY CLUSTERED "
         "(id, line, date_of_archiving) ON [PRIMARY]"},
        // Midnight keeps its time: the timestamp escape needs all six fields.
        {archive_sql::ArchiveDateText({2005, 3, 7, 0, 0, 0}), "2005-03-07 00:00:00"},
        {archive_sql::SqlServerArchiveTable(
             "fact_sales",
             {{.Name = "id", .TypeName = "int", .Nullable = false, .Identity = true},
              {.Name = "code", .TypeName = "nvarchar", .MaxLength = 40},
              {.Name = "note", .TypeName = "varchar", .MaxLength = -1},
              {.Name = "amount",
               .TypeName = "decimal",
               .Precision = 18,
               .Scale = 2,
               .Nullable = false},
              {.Name = "version", .TypeName = "timestamp", .MaxLength = 8, .Nullable = false},
              {.Name = "total", .TypeName = "money", .Computed = true},
              {.Name = "odd]name", .TypeName = "char", .MaxLength = 2, .Nullable = false}},
             archive_sql::TableKey{"pk_sales", {"id", "code"}}),
         "CREATE TABLE [dbo].[fact_sales] ([id] int NOT NULL, [code] nvarchar(20) NULL, "
         "[note] varchar(max) NULL, [amount] decimal(18, 2) NOT NULL, [version] binary(8) NOT "
         "NULL, [total] money NULL, [odd]]name] char(2) NOT NULL, "
         "CONSTRAINT [pk_sales] PRIMARY KEY ([id], [code]))"},
        {DeletionTableListQuery(kSqlServer),
         "SELECT table_name,MAX(CONVERT(int, slow_moving_dim)) AS slow_moving_dim FROM "
         "dwm_tables,dwm_star_relations WHERE UPPER(table_type) = 'DIMENSION' AND "
         "dwm_star_relations.primary_table = dwm_tables.table_name AND dwm_tables.is_selected = 1 "
         "GROUP BY table_name"},
        {AtomicElementKeyQuery("dim_o'hara"),
         "SELECT original_primary_key FROM dwm_star_relations WHERE primary_table = 'dim_o''hara'"},
        {DeleteElementStatement("D", {"c", "n"}, {true, false}),
         "DELETE FROM D WHERE c IS NULL AND n = ?"},
        // The identity may hold start_date itself: every column gets a name of its own.
        {ElementVersionsQuery(kSqlServer, "D", "c, n", {"id", "start_date"}),
         "SELECT * FROM (SELECT id AS repair_id1, start_date AS repair_id2, DENSE_RANK() "
         "OVER (ORDER BY c, n) AS repair_element, start_date AS repair_start, end_date AS "
         "repair_end, CONVERT(date, start_date) AS repair_start_day, CONVERT(date, end_date) "
         "AS repair_end_day, is_current AS repair_current, CASE WHEN is_deletable = 1 AND "
         "is_sustainable = 0 THEN 1 ELSE 0 END AS repair_marked, MAX(CASE WHEN is_deletable = 1 "
         "AND is_sustainable = 0 THEN 1 ELSE 0 END) "
         "OVER (PARTITION BY c, n) AS repair_element_marked FROM D) versions WHERE "
         "repair_element_marked = 1 ORDER BY repair_element, repair_start, repair_id1, "
         "repair_id2"},
        // Without row values, a key of two columns finds its elements by EXISTS.
        {HistoryDefectsQuery(
             kSqlServer, "D", "c, n",
             {.DeletedRows = DeletedRowsCondition(), .WithoutDeletedVersions = true}),
         "SELECT c, n, CASE WHEN SUM(history_current) = 0 THEN 1 ELSE 0 END AS no_current, CASE "
         "WHEN SUM(history_current) > 1 THEN SUM(history_current) - 1 ELSE 0 END AS "
         "several_current, SUM(CASE WHEN history_current = 1 AND history_has_next = 1 THEN 1 ELSE "
         "0 END) AS current_not_latest, SUM(CASE WHEN history_has_next = 1 AND (history_end_day "
         "IS NULL OR history_next_start_day IS NULL OR history_end_day <> "
         "history_next_start_day) THEN 1 ELSE 0 END) AS gaps, SUM(CASE WHEN history_start IS "
         "NULL THEN 1 ELSE 0 END) AS no_start, COUNT(*) OVER () AS defective_elements FROM "
         "(SELECT history_versions.c, history_versions.n, history_versions.start_date AS "
         "history_start, CONVERT(date, history_versions.end_date) AS history_end_day, "
         "LEAD(CONVERT(date, history_versions.start_date)) OVER (PARTITION BY "
         "history_versions.c, history_versions.n ORDER BY start_date, end_date) AS "
         "history_next_start_day, LEAD(1, 1, 0) OVER (PARTITION BY history_versions.c, "
         "history_versions.n ORDER BY start_date, end_date) AS history_has_next, CASE WHEN "
         "history_versions.is_current <> 0 THEN 1 ELSE 0 END AS history_current FROM D AS "
         "history_versions WHERE (EXISTS (SELECT 1 FROM D AS history_deleted WHERE "
         "history_deleted.c = history_versions.c AND history_deleted.n = history_versions.n AND "
         "(is_deletable = 1 AND is_sustainable = 0)) OR history_versions.c IS NULL OR "
         "history_versions.n IS NULL) AND CASE WHEN is_deletable = 1 AND is_sustainable = 0 THEN "
         "1 ELSE 0 END = 0) history GROUP BY c, n HAVING CASE WHEN SUM(history_current) = 0 THEN "
         "1 ELSE 0 END + CASE WHEN SUM(history_current) > 1 THEN SUM(history_current) - 1 ELSE 0 "
         "END + SUM(CASE WHEN history_current = 1 AND history_has_next = 1 THEN 1 ELSE 0 END) + "
         "SUM(CASE WHEN history_has_next = 1 AND (history_end_day IS NULL OR "
         "history_next_start_day IS NULL OR history_end_day <> history_next_start_day) THEN 1 "
         "ELSE 0 END) + SUM(CASE WHEN history_start IS NULL THEN 1 ELSE 0 END) > 0 ORDER BY c, n"},
        {DeleteMarkedRowsStatement("D"),
         "DELETE FROM D WHERE is_deletable = 1 AND is_sustainable = 0"},
        {ElementGroupQuery("D", "c ,n"),
         "SELECT c ,n, Count(*) As CntAll, Count( Case When is_deletable = 1 AND is_sustainable = "
         "0 Then 1 End ) As CntDeletable FROM D GROUP BY c ,n"},
        {KeepReferencedRowsStatement(kSqlServer, "dim_store", "fact_sales", "code, region",
                                     " store_code ,store_region"),
         "UPDATE dim_store SET is_deletable = 0 WHERE is_deletable = 1 AND EXISTS (SELECT 1 FROM "
         "fact_sales AS referrer WITH (HOLDLOCK) WHERE dim_store.code = referrer.store_code AND "
         "dim_store.region = referrer.store_region)"},
        {sql::ClearUsedRows(kSqlServer, "D", "E", "a,b", "x, y", true),
         "UPDATE D SET is_deletable = 0 FROM D,E WHERE \r\nD.a = E.x\r\n AND \r\nD.b = E. y\r\n"
         " AND E.is_deletable=0"},
        {sql::ClearUsedRows(kSqlServer, "D", "E", "a", "x", false),
         "UPDATE D SET is_deletable = 0 FROM D,E WHERE \r\nD.a = E.x\r\n"},
        {DimensionTableListQuery(kSqlServer),
         "SELECT DISTINCT MAX(CONVERT(int, is_selected)) as is_selected, table_name FROM "
         "dwm_tables WHERE UPPER(table_type) = 'DIMENSION' GROUP BY table_name ORDER BY "
         "table_name"},
    };
    for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);
    EXPECT_THROW(KeepReferencedRowsStatement(kSqlite, "d", "f", "a,b", "x"), std::runtime_error);
    EXPECT_THROW(sql::ClearUsedRows(kSqlite, "D", "E", "a,b", "x", false), std::out_of_range);
    EXPECT_EQ(archive_sql::SqliteKeyConstraintName(
                  "CREATE TABLE f (id INTEGER constraint \"pk \"\"f\" primary key)"),
              "pk \"f");
}

// A key bound as Null matches no row with "= ?": only a Null value may be bound so.
// SQLite compares the text it holds: dates go back to it as they were read.
TEST(TaskStatementsTest, KeyValuesAreNeverBoundAsNullUnlessTheyAreNull) {
    const ColumnInfo date{"start_date", ColumnKind::Date, 23, 3, false};
    const ColumnInfo whole{"id", ColumnKind::Whole, 10, 0, false};
    const struct {
        const SqlDialect& Dialect;
        ColumnInfo Column;
        std::optional<std::string> Read;
        Value Bound;
    } cases[] = {
        {kSqlServer, date, "2005-03-07 10:20:30.000", Timestamp{2005, 3, 7, 10, 20, 30}},
        {kSqlite, date, "2005-03-07", std::string("2005-03-07")},
        {kSqlServer, whole, "12", std::int64_t{12}},
        {kSqlServer, whole, std::nullopt, Value{}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ColumnValueParameter(c.Column, c.Read, c.Dialect).Data, c.Bound)
            << c.Read.value_or("Null");
}

}  // namespace
}  // namespace varnel

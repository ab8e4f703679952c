// The archiving statements as the servers receive them.

#include "tasks/archiving/archive_statements.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

using namespace archive_sql;

const std::string kDate = "2005-03-07 23:05:09";
const std::string kCondition = "sale_date < '2004-01-01'";

// The archive's spelling of a name goes into the INSERT, the fact table's into the SELECT.
const std::vector<CopiedColumn> kColumns = {
    {"id", "ID"}, {"sale_date", "sale_date"}, {"odd]name", "odd]name"}};

TEST(ArchiveStatementTest, SqlServerTextsMatchCharacterForCharacter) {
    const std::pair<std::string, std::string> cases[] = {
        {LinkedServerCopy("ARCHSRV", "archive_db", "fact_sales", kColumns, kDate, kCondition),
         "insert into \"ARCHSRV\".\"archive_db\".dbo.\"fact_sales\" "
         "([ID], [sale_date], [odd]]name], date_of_archiving) "
         "select [id], [sale_date], [odd]]name], {ts '2005-03-07 23:05:09'} "
         "from \"fact_sales\" where sale_date < '2004-01-01'"},
        {OpenRowsetCopy("ARCHSRV", "arch", "secret", "archive_db", "fact_sales", kColumns, kDate,
                        kCondition),
         "insert into OPENROWSET('SQLOLEDB', 'ARCHSRV'; 'arch'; 'secret', "
         "archive_db.dbo.fact_sales) ([ID], [sale_date], [odd]]name], date_of_archiving) "
         "select [id], [sale_date], [odd]]name], {ts '2005-03-07 23:05:09'} "
         "from fact_sales where sale_date < '2004-01-01'"},
        {AddArchiveDateColumn("fact_sales"),
         "ALTER TABLE fact_sales ADD date_of_archiving datetime NOT NULL DEFAULT getdate() "
         "WITH VALUES"},
        {AddArchiveKey("fact_sales", {"pk_sales", {"id", "line"}}),
         "ALTER TABLE fact_sales ADD CONSTRAINT pk_sales PRIMARY KEY CLUSTERED "
         "(id, line, date_of_archiving) ON [PRIMARY]"},
        {DeleteArchivedRows("fact_sales", kCondition),
         "delete from fact_sales where sale_date < '2004-01-01'"},
        {SelectFactConditions(),
         "select distinct table_name, max(where_clause) as where_clause from dwm_tables "
         "where upper(table_type) = 'FACT' group by table_name"},
        // Midnight keeps its time: the timestamp escape needs all six fields.
        {ArchiveDateText({2005, 3, 7, 0, 0, 0}), "2005-03-07 00:00:00"},
    };
    for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);
    // A quote in the login cannot end its literal.
    EXPECT_NE(OpenRowsetCopy("S", "o'neil", "p'w", "D", "t", {{"a", "a"}}, kDate, "1 = 1")
                  .find("'o''neil'; 'p''w'"),
              std::string::npos);
}

TEST(ArchiveStatementTest, SqlServerArchiveTableTakesEveryCopiedValue) {
    const std::vector<SqlServerColumn> columns = {
        {.Name = "id", .TypeName = "int", .Nullable = false, .Identity = true},
        {.Name = "code", .TypeName = "nvarchar", .MaxLength = 40},
        {.Name = "note", .TypeName = "varchar", .MaxLength = -1},
        {.Name = "amount", .TypeName = "decimal", .Precision = 18, .Scale = 2, .Nullable = false},
        {.Name = "version", .TypeName = "timestamp", .MaxLength = 8, .Nullable = false},
        {.Name = "total", .TypeName = "money", .Computed = true},
        {.Name = "odd]name", .TypeName = "char", .MaxLength = 2, .Nullable = false},
    };
    EXPECT_EQ(
        SqlServerArchiveTable("fact_sales", columns, TableKey{"pk_sales", {"id", "code"}}),
        "CREATE TABLE [dbo].[fact_sales] ([id] int NOT NULL, [code] nvarchar(20) NULL, "
        "[note] varchar(max) NULL, [amount] decimal(18, 2) NOT NULL, [version] binary(8) NOT NULL, "
        "[total] money NULL, [odd]]name] char(2) NOT NULL, "
        "CONSTRAINT [pk_sales] PRIMARY KEY ([id], [code]))");
}

TEST(ArchiveStatementTest, SqliteKeyConstraintNameIsReadFromTheTableDefinition) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"CREATE TABLE f (id INTEGER constraint \"pk \"\"f\" primary key)", "pk \"f"},
        {"CREATE TABLE f (id INTEGER PRIMARY KEY, x TEXT "
         "CONSTRAINT ck CHECK (x <> 'CONSTRAINT a PRIMARY'))",
         std::nullopt},
    };
    for (const auto& [definition, name] : cases)
        EXPECT_EQ(SqliteKeyConstraintName(definition), name);
}

}  // namespace
}  // namespace varnel

#include "tasks/archiving/archiving.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>

#include "base/current_user.h"
#include "tasks/archiving/archive_connection_rules.h"
#include "tasks/archiving/archive_statements.h"
#include "tests/support/job_history_reader.h"
#include "tests/support/run_doubles.h"
#include "tests/support/sqlite_file.h"
#include "tests/support/temp_dir.h"
#include "tests/support/varnel_process.h"
#include "tests/support/warehouse_builder.h"
#include "warehouse/connector.h"
#include "warehouse/database_access.h"
#include "warehouse/sql_literal.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using testing::WarehouseBuilder;

const std::string kOpen = std::string(33, '-') + "\r\n";
const std::string kClose = std::string(31, '-') + "\r\n";

class ArchivingTest : public testing::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        archive_ = testing::CreateSqliteFile(w_.Folder() + "/archive.db");
    }

    //! Runs the task as the run driver does; the log of the run is kept in log_.
    bool Archive() {
        OpenWarehouseConnection("sqlite", w_.Path(), true, "", "", state_.WarehouseConnection,
                                state_.MessageText);
        OpenWarehouseConnection("sqlite", archive_, false, "arch", "", state_.ArchiveConnection,
                                state_.MessageText, kDefaultLoginTimeoutSeconds, NewFile::Allowed);
        state_.InstallProgressWindow(state_.MakeProgressWindow());
        const std::string path = w_.Folder() + "/run" + std::to_string(++runs_) + ".log";
        bool done = false;
        {
            LogStream log(path);
            RunSettings settings;
            settings.JobId = "job-7";
            done = ArchiveFactTables(Context(settings, &log, path));
        }
        log_ = testing::ReadFile(path);
        return done;
    }

    std::string Head(const std::string& date) const {
        return kOpen + "Start of Archiving of Fact Tables\r\n" + kOpen +
               "\r\nDate of Archiving: " + date +
               "\r\n\r\nData Warehouse Server: sqlite\r\nData Warehouse Database: " + w_.Path() +
               "\r\nArchive Server: sqlite\r\nArchive Database: " + archive_ + "\r\n\r\n";
    }
    static std::string Table(const std::string& name, const std::string& condition, bool created,
                             int count) {
        return "***\r\nFact Table: " + name + "\r\nCondition: " + condition + "\r\n" +
               (created ? "- Table created in Archive database\r\n" : "") + "- " +
               std::to_string(count) + " records archived\r\n***\r\n\r\n";
    }
    static std::string Tail() {
        return kClose + "End of Archiving of Fact Tables\r\n" + kClose + "\r\n";
    }

    testing::Texts Archived(const std::string& sql) {
        std::unique_ptr<Connection> db = testing::OpenSqlite(archive_);
        testing::Texts lines;
        auto result = db->Query(sql);
        while (result.Next()) lines.push_back(result.Get(0).value_or("<null>"));
        return lines;
    }

    void Sales() {
        w_.Fact("fact_sales", {"id INTEGER NOT NULL", "sale_date DATETIME", "amount DECIMAL(10,2)"},
                {.PrimaryKey = "id",
                 .KeyConstraint = "pk_sales",
                 .WhereClause = "sale_date < '2024-01-01'"});
        w_.Rows("fact_sales", {"id", "sale_date", "amount"},
                {{1, "2023-01-01 00:00:00", 1.5},
                 {2, "2023-12-31 23:59:59", 2},
                 {3, "2024-01-01 00:00:00", 3},
                 {4, "2024-06-01 10:00:00", 4}});
    }

    WarehouseBuilder w_;
    std::string archive_;
    std::string log_;
    int runs_ = 0;
};

TEST_F(ArchivingTest, MovesExactlyTheMatchingRowsStampedWithOneDate) {
    testing::FixedClock clock(state_, {2024, 5, 6, 7, 8, 9});
    Sales();
    // Two FACT rows: the greater condition ('damaged' > 'broken') is the one used.
    w_.Fact("fact_returns", {"id INTEGER", "reason TEXT"}, {.WhereClause = "reason = 'broken'"});
    w_.Register({.Table = "fact_returns", .Type = "fact", .WhereClause = "reason = 'damaged'  "});
    w_.Rows("fact_returns", {"id", "reason"}, {{1, "damaged"}, {2, "broken"}, {3, "damaged"}});
    w_.Fact("fact_stock", {"id INTEGER"}, {.WhereClause = "   "});
    w_.Rows("fact_stock", {"id"}, {{1}});
    w_.Register({.Table = "fact_gone", .Type = "FACT", .WhereClause = "id > 0"});

    ASSERT_TRUE(Archive()) << state_.MessageText;
    EXPECT_EQ(log_, Head("2024-05-06 07:08:09") +
                        Table("fact_returns", "reason = 'damaged'", true, 2) +
                        Table("fact_sales", "sale_date < '2024-01-01'", true, 2) + Tail());
    EXPECT_THAT(w_.Column("SELECT id FROM fact_sales ORDER BY id"), ElementsAre("3", "4"));
    EXPECT_THAT(w_.Column("SELECT id FROM fact_returns ORDER BY id"), ElementsAre("2"));
    EXPECT_EQ(w_.Count("fact_stock"), 1);
    // The archive tables: fact columns, the date, the widened key under the fact key's name.
    EXPECT_THAT(Archived("SELECT name || ' ' || type || ' ' || \"notnull\" || ' ' || pk "
                         "FROM pragma_table_info('fact_sales')"),
                ElementsAre("id INTEGER 1 1", "sale_date DATETIME 0 0", "amount DECIMAL(10,2) 0 0",
                            "date_of_archiving DATETIME 1 2"));
    EXPECT_EQ(archive_sql::SqliteKeyConstraintName(
                  Archived("SELECT sql FROM sqlite_master WHERE name = 'fact_sales'").at(0)),
              "pk_sales");
    const auto history = testing::ReadJobHistory(HistoryPath());
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(Summary(history[1]) + "|" + history[1].Remark + "|" + history[1].CountUnit + "|" +
                  history[1].ArchiveUserName + "|" + history[1].JobId,
              "Archived fact tables|fact_sales|0|2|sale_date < '2024-01-01'|records archived|" +
                  CurrentUserName() + "|job-7");
    EXPECT_THAT(Archived("SELECT id || '|' || sale_date || '|' || amount || '|' || "
                         "date_of_archiving FROM fact_sales ORDER BY id"),
                ElementsAre("1|2023-01-01 00:00:00|1.5|2024-05-06 07:08:09",
                            "2|2023-12-31 23:59:59|2|2024-05-06 07:08:09"));
}

TEST_F(ArchivingTest,
       FailureEndsTheSectionKeepsTheWarehouseAndIsRecordedAndCancelStopsBetweenTables) {
    testing::FixedClock clock(state_, {2024, 5, 6, 7, 8, 9});
    w_.Fact("fact_a", {"id INTEGER"}, {.WhereClause = "id < 3"});
    w_.Rows("fact_a", {"id"}, {{1}, {2}, {3}});
    Sales();
    w_.Exec(
        "UPDATE dwm_tables SET where_clause = 'sale_dat < ''2024-01-01''' WHERE table_name = "
        "'fact_sales'");

    EXPECT_FALSE(Archive());
    EXPECT_THAT(log_, ::testing::HasSubstr("- Table created in Archive database\r\n"
                                           "An error occurred during archiving of fact tables."));
    EXPECT_EQ(state_.MessageText,
              "\r\nCopying table fact_sales into the archive failed:\r\n"
              "[SQLite]no such column: sale_dat (1)\r\n");
    EXPECT_EQ(w_.Count("fact_a"), 1);
    EXPECT_EQ(w_.Exec("DELETE FROM fact_sales WHERE id = 4"), 1);
    const auto history = testing::ReadJobHistory(HistoryPath());
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[1].Status, "3");
    EXPECT_EQ(history[1].Message, state_.MessageText);

    // Cancel stops between tables: fact_a is done, fact_sales not begun.
    w_.Exec("UPDATE dwm_tables SET where_clause = 'id > 0' WHERE table_name = 'fact_sales'");
    CancelAfterPolls(Window().Polls + 1);  // the runs' windows share one record
    EXPECT_FALSE(Archive());
    EXPECT_EQ(w_.Count("fact_sales"), 3);
    EXPECT_THAT(log_, ::testing::EndsWith("- 0 records archived\r\n***\r\n\r\n"));
    EXPECT_EQ(testing::ReadJobHistory(HistoryPath()).size(), 3u);  // fact_a's alone
}

// The count check, with and without the warehouse transaction of the copy.
TEST_F(ArchivingTest, DeleteRefusesToRemoveMoreRowsThanWereArchived) {
    Sales();
    auto db = w_.OpenConnection();
    ArchiveHold none;
    EXPECT_FALSE(DeleteArchivedRows(state_, "fact_sales", "id > 0", *db, 3, none));
    EXPECT_EQ(
        state_.MessageText,
        "\r\nThe archived rows of table fact_sales were not deleted: the delete met 4 records, "
        "but 3 records were archived. Nothing was deleted from the data warehouse; the "
        "archived copies stay in the archive database.");
    ArchiveHold held{std::make_unique<Transaction>(*db)};
    EXPECT_FALSE(DeleteArchivedRows(state_, "fact_sales", "id > 0", *db, 5, held));
    EXPECT_FALSE(held.WarehouseTransaction);
    EXPECT_EQ(w_.Count("fact_sales"), 4);
    held.WarehouseTransaction = std::make_unique<Transaction>(*db);
    EXPECT_TRUE(DeleteArchivedRows(state_, "fact_sales", "id > 2", *db, 2, held));
    EXPECT_EQ(w_.Count("fact_sales"), 2);
}

// A fact table rebuilt with columns dropped, added, reordered and recased: a column the archive
// lacks stops the table; once added every value lands under its own name.
TEST_F(ArchivingTest, ArchiveColumnsAreMatchedByName) {
    testing::FixedClock clock(state_, {2024, 5, 6, 7, 8, 9});
    w_.Fact("fact_sales", {"id INTEGER NOT NULL", "sale_date DATETIME", "note TEXT"},
            {.PrimaryKey = "id", .WhereClause = "sale_date < '2024-01-01'"});
    w_.Rows("fact_sales", {"id", "sale_date", "note"}, {{1, "2023-01-01", "first"}});
    ASSERT_TRUE(Archive()) << state_.MessageText;
    w_.Exec("DROP TABLE fact_sales");
    w_.Exec(
        "CREATE TABLE fact_sales (region TEXT, \"unit \"\"price\"\"\" REAL, id INTEGER NOT "
        "NULL, SALE_DATE DATETIME, PRIMARY KEY (id))");
    w_.Exec(
        "INSERT INTO fact_sales VALUES ('north', 1.25, 3, '2023-03-03'), "
        "('south', 2.5, 4, '2024-04-04')");
    clock.Set({2024, 5, 7, 7, 8, 9});

    EXPECT_FALSE(Archive());
    EXPECT_EQ(state_.MessageText,
              "\r\nThe archive table fact_sales has no column region of the fact table; nothing "
              "was archived from fact_sales.\r\n");
    EXPECT_EQ(w_.Count("fact_sales"), 2);

    auto archive = testing::OpenSqlite(archive_);
    archive->Execute("ALTER TABLE fact_sales ADD COLUMN Region TEXT");
    archive->Execute("ALTER TABLE fact_sales ADD COLUMN \"unit \"\"price\"\"\" REAL");
    archive.reset();
    state_.MessageText.clear();
    ASSERT_TRUE(Archive()) << state_.MessageText;
    EXPECT_THAT(w_.Column("SELECT id FROM fact_sales"), ElementsAre("4"));
    EXPECT_THAT(Archived("SELECT id || '|' || sale_date || '|' || ifnull(note, '-') || '|' || "
                         "ifnull(region, '-') || '|' || ifnull(\"unit \"\"price\"\"\", '-') "
                         "FROM fact_sales ORDER BY id"),
                ElementsAre("1|2023-01-01|first|-|-", "3|2023-03-03|-|north|1.25"));
}

const std::string kCondition = "sale_date < '2024-01-01'";

std::string Numbers(std::int64_t first, std::int64_t last) {
    return "WITH RECURSIVE n(i) AS (SELECT " + std::to_string(first) +
           " UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(last) + ") ";
}

class ArchivingConservationTest : public ArchivingTest {
  protected:
    void SetUp() override {
        ArchivingTest::SetUp();
        w_.Fact("fact_sales", {"id INTEGER NOT NULL", "sale_date TEXT", "amount INTEGER"},
                {.PrimaryKey = "id", .KeyConstraint = "pk_sales", .WhereClause = kCondition});
    }

    //! Rows first..last; three in four meet the condition.
    void AddRows(std::int64_t first, std::int64_t last) {
        w_.Exec("INSERT INTO fact_sales " + Numbers(first, last) +
                "SELECT i, CASE WHEN i % 4 = 0 THEN '2024-02-01' ELSE '2023-02-01' END, i FROM n");
    }

    //! Of the ids 1..last: "in neither database|in both|archived again|left meeting the condition".
    std::string Tally(std::int64_t last) {
        auto db = testing::OpenSqlite(archive_);
        db->Execute(TableExists(*db, "fact_sales")
                        ? "CREATE TEMP VIEW a AS SELECT id FROM main.fact_sales"
                        : "CREATE TEMP TABLE a (id INTEGER)");
        db->Execute("ATTACH DATABASE " + SqlLiteral(w_.Path()) + " AS wh");
        return testing::QueryValue(
            *db, Numbers(1, last) +
                     "SELECT (SELECT count(*) FROM n WHERE i NOT IN (SELECT id FROM wh.fact_sales)"
                     " AND i NOT IN (SELECT id FROM a)) || '|' || (SELECT count(*) FROM "
                     "wh.fact_sales WHERE id IN (SELECT id FROM a)) || '|' || (SELECT count(*) - "
                     "count(DISTINCT id) FROM a) || '|' || (SELECT count(*) FROM wh.fact_sales "
                     "WHERE " +
                     kCondition + ")");
    }
};

TEST_F(ArchivingConservationTest, RowsInsertedDuringArchivingAreNeverLost) {
    AddRows(1, 20000);
    const std::string script = dir_.File("insert.sql");
    {
        std::ofstream out(script);
        out << ".bail on\n.timeout 60000\nPRAGMA synchronous = OFF;\n";
        for (int id = 20001; id <= 80000; ++id)
            out << "INSERT INTO fact_sales VALUES (" << id << ", '2023-06-01', " << id << ");\n";
    }
    const pid_t inserter = testing::StartChild({"/usr/bin/sqlite3", w_.Path()}, {.In = script});
    int runs = 0;
    int status = 0;
    while (waitpid(inserter, &status, WNOHANG) == 0) {
        ASSERT_TRUE(Archive()) << state_.MessageText;
        ++runs;
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ASSERT_TRUE(Archive()) << state_.MessageText;
    EXPECT_EQ(Tally(80000), "0|0|0|0");
    EXPECT_GT(runs, 1) << "the inserts ended before archiving could meet them";
}

// The archive settings' rules, the first one broken reported; SQLite files compare as files.
TEST(ArchiveSettingsTest, SettingsBreakingARuleGetItsMessage) {
    const std::string realName = "Please specify the real name of the server.";
    const std::string bothWindows =
        "It is not possible to have both connections set to Windows authentication.\r\n"
        "Please select SQL Server authentication for either the data warehouse or the archive "
        "database";
    const std::string ownDatabase =
        "You cannot archive the data warehouse to its own database. Please specify a different "
        "database.";
    const ConnectionTarget sql{"DwServer", "Sales", false, "dw", "pw", 60};
    const ConnectionTarget windows{"DwServer", "Sales", true, "", "", 60};
    testing::TempDir dir;
    const ConnectionTarget file{
        "sqlite", testing::CreateSqliteFile(dir.File("W.db")), false, "", "", 60};
    const std::string lower = testing::CreateSqliteFile(dir.File("w.db"));
    const struct {
        ConnectionTarget Warehouse;
        ArchiveLogin Archive;
        std::string Message;
    } cases[] = {
        {sql, {".", false, "u", "p", "Arch"}, realName},
        {sql, {"(LOCAL)", true, "", "", "Arch"}, ""},
        {sql, {"dwserver", false, "u", "p", "SALES"}, ownDatabase},
        {windows, {"(local)", true, "", "", "Sales"}, realName},
        {windows, {"DwServer", true, "", "", "Other"}, bothWindows},
        {file, {"SQLite", false, "", "", dir.File("./W.db")}, ownDatabase},
        {file, {"sqlite", false, "", "", lower}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ArchiveSettingsProblem(c.Warehouse, c.Archive), c.Message)
            << c.Archive.Server << "/" << c.Archive.Database;
}

}  // namespace
}  // namespace varnel

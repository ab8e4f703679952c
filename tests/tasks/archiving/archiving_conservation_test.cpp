// No fact row is ever lost: archiving during concurrent inserts, and runs killed
// before each statement in turn, between the two commits included.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "tasks/archiving/archiving.h"
#include "tests/support/run_doubles.h"
#include "tests/support/sqlite_file.h"
#include "tests/support/varnel_process.h"
#include "tests/support/warehouse_builder.h"
#include "warehouse/connector.h"
#include "warehouse/database_access.h"
#include "warehouse/sql_literal.h"

namespace varnel {
namespace {

using namespace std::chrono_literals;

const std::string kCondition = "sale_date < '2024-01-01'";

//! How the ids 1..last are spread: in neither database, archived and still in the
//! warehouse, archived more than once, in the warehouse and meeting the condition.
struct Tally {
    std::int64_t Missing = 0, InBoth = 0, Duplicates = 0, StillMatching = 0;
    bool operator==(const Tally&) const = default;
};

void PrintTo(const Tally& t, std::ostream* out) {
    *out << "missing " << t.Missing << ", in both " << t.InBoth << ", duplicates " << t.Duplicates
         << ", still matching " << t.StillMatching;
}

class ArchivingConservationTest : public testing::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        w_.Fact("fact_sales", {"id INTEGER NOT NULL", "sale_date TEXT", "amount INTEGER"},
                {.PrimaryKey = "id", .KeyConstraint = "pk_sales", .WhereClause = kCondition});
        archive_ = testing::CreateSqliteFile(w_.Folder() + "/archive.db");
    }

    //! Rows first..last; three in four meet the condition.
    void AddRows(std::int64_t first, std::int64_t last) {
        ASSERT_EQ(w_.Exec("INSERT INTO fact_sales SELECT i, CASE WHEN i % 4 = 0 THEN '2024-02-01' "
                          "ELSE '2023-02-01' END, i FROM (WITH RECURSIVE n(i) AS (SELECT " +
                          std::to_string(first) + " UNION ALL SELECT i + 1 FROM n WHERE i < " +
                          std::to_string(last) + ") SELECT i FROM n)"),
                  last - first + 1);
    }

    Tally Count(std::int64_t last) {
        auto db = testing::OpenSqlite(archive_);
        db->Execute("ATTACH DATABASE " + SqlLiteral(w_.Path()) + " AS wh");
        const bool archived = TableExists(*db, "fact_sales");
        const std::string archivedIds =
            archived ? "(SELECT id FROM main.fact_sales)" : "(SELECT 0 WHERE 0)";
        const auto number = [&](const std::string& sql) {
            return std::stoll(testing::QueryValue(*db, sql));
        };
        Tally tally;
        tally.Missing =
            number("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                   std::to_string(last) +
                   ") SELECT count(*) FROM n WHERE i NOT IN "
                   "(SELECT id FROM wh.fact_sales) AND i NOT IN " +
                   archivedIds);
        tally.InBoth = number("SELECT count(*) FROM wh.fact_sales WHERE id IN " + archivedIds);
        if (archived)
            tally.Duplicates = number(
                "SELECT count(*) FROM (SELECT id FROM main.fact_sales "
                "GROUP BY id HAVING count(*) > 1)");
        tally.StillMatching = number("SELECT count(*) FROM wh.fact_sales WHERE " + kCondition);
        return tally;
    }

    //! Runs the test build of varnel archiving the warehouse, with the hooks given;
    //! returns its exit status, -1 when it was killed.
    int RunVarnel(const std::vector<std::string>& hooks = {}) {
        auto args = testing::SqliteRun(VARNEL_TEST_EXE, w_.Path(), dir_.File("logs"));
        args.insert(args.begin() + 1, hooks.begin(), hooks.end());
        args.insert(args.end(), {"-bkmac", "sqlite", "-bkdb", archive_, "-bkusr", "arch", "-clsf"});
        const auto end = testing::RunChild(args);
        return end.Signalled ? -1 : end.ExitCode;
    }

    //! After a killed run no row is missing, and a full run then archives the rest.
    void FinishAfterKill(std::int64_t last) {
        // A killed run leaves the tool's lock taken; the operator would free it.
        if (TableExists(w_.Connection(), "dwm_multiuse"))
            w_.Exec("UPDATE dwm_multiuse SET lock = 0");
        const Tally tally = Count(last);
        ASSERT_EQ(tally.Missing, 0);
        // Rows archived again need a date of their own: the key includes it.
        if (tally.InBoth > 0) std::this_thread::sleep_for(1100ms);
        ASSERT_EQ(RunVarnel(), 0);
        ASSERT_EQ(Count(last).StillMatching, 0);
    }

    testing::WarehouseBuilder w_;
    std::string archive_;
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
    state_.WarehouseConnection = w_.OpenConnection();
    state_.ArchiveConnection = testing::OpenSqlite(archive_);
    taskSettings_.JobId = "job";
    const pid_t inserter = testing::StartChild({"/usr/bin/sqlite3", w_.Path()}, {.In = script});

    int runs = 0;
    int status = 0;
    while (waitpid(inserter, &status, WNOHANG) == 0) {
        ASSERT_TRUE(ArchiveFactTables(Context())) << state_.MessageText;
        ++runs;
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ASSERT_TRUE(ArchiveFactTables(Context())) << state_.MessageText;

    EXPECT_EQ(Count(80000), Tally{});
    EXPECT_GT(runs, 1) << "the inserts ended before archiving could meet them";
}

// A kill before each statement of a run in turn, so that every moment between two
// statements is met once, not only those a random kill happens to hit.
TEST_F(ArchivingConservationTest, AKillBeforeAnyStatementLosesNoRow) {
    std::int64_t last = 0;
    int statement = 1;
    for (;; ++statement) {
        SCOPED_TRACE("killed before statement " + std::to_string(statement));
        AddRows(last + 1, last + 100);
        last += 100;
        const int status = RunVarnel({"--kill-at", "statement:" + std::to_string(statement)});
        if (status != -1) {
            ASSERT_EQ(status, 0);
            break;
        }
        ASSERT_NO_FATAL_FAILURE(FinishAfterKill(last));
    }
    EXPECT_GT(statement, 10) << "the run sent fewer statements than an archiving needs";
    const Tally tally = Count(last);
    EXPECT_EQ(tally, Tally{.Duplicates = tally.Duplicates});
}

}  // namespace
}  // namespace varnel

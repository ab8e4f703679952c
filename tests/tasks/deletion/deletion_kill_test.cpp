// The varnel program killed with SIGKILL while it deletes: every table is found
// either as it was or fully deleted and repaired, never half done.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "tests/support/sqlite_file.h"
#include "tests/support/varnel_process.h"
#include "tests/tasks/deletion/deletion_fixture.h"

namespace varnel {
namespace {

using ::testing::AnyOf;
using ::testing::Eq;

const std::vector<std::string> kTables = {"dim_a", "dim_b", "dim_c"};

class DeletionKillTest : public testing::DeletionTest {
  protected:
    //! Every row of each table, in id order.
    static std::map<std::string, testing::Texts> Contents(const std::string& path) {
        auto connection = testing::OpenSqlite(path);
        std::map<std::string, testing::Texts> contents;
        for (const auto& table : kTables) {
            auto rows = connection->Query("SELECT * FROM " + table + " ORDER BY id");
            while (rows.Next())
                for (std::size_t i = 0; i < rows.ColumnCount(); ++i)
                    contents[table].push_back(rows.Get(i).value_or("<null>"));
        }
        return contents;
    }

    //! Runs varnel -del on a copy of the warehouse, killed before the statement given
    //! unless it is 0; returns the copy's path. A whole run writes its statement count.
    std::string RunOnCopy(const std::string& name, long killAt) {
        const std::string path = dir_.File(name);
        std::filesystem::copy_file(w_.Path(), path);
        std::vector<std::string> args = {VARNEL_TEST_EXE};
        if (killAt > 0)
            args.insert(args.end(), {"--kill-at", "statement:" + std::to_string(killAt)});
        else
            args.insert(args.end(), {"--count-statements", dir_.File("statements.txt")});
        const auto run = testing::SqliteRun(VARNEL_TEST_EXE, path, dir_.File("logs"));
        args.insert(args.end(), run.begin() + 1, run.end());
        args.push_back("-del");
        const auto end = testing::RunChild(args);
        EXPECT_EQ(end.Signalled, killAt > 0) << "a kill before statement " << killAt;
        return path;
    }
};

TEST_F(DeletionKillTest, AKilledRunLeavesEveryTableUntouchedOrFullyDone) {
    // Three versions per element, two in five marked.
    for (const auto& table : kTables) {
        Customers({}, table);
        w_.Exec("CREATE INDEX ix_" + table + " ON " + table + " (code, region)");
        w_.Exec("INSERT INTO " + table +
                " (id, code, region, start_date, end_date, is_current, is_deletable) WITH "
                "RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 11999) "
                "SELECT i + 1, 'c' || (i / 3), 1, date('2020-01-01', '+' || (i % 3) || ' months'),"
                " CASE WHEN i % 3 = 2 THEN '9999-12-31' ELSE date('2020-01-01', '+' || "
                "(i % 3 + 1) || ' months') END, i % 3 = 2, (i * 7) % 5 < 2 FROM n");
    }
    w_.Close();
    const auto before = Contents(w_.Path());
    const auto after = Contents(RunOnCopy("finished.db", 0));
    long statements = 0;
    std::ifstream(dir_.File("statements.txt")) >> statements;
    ASSERT_GT(statements, 20);
    int partlyDone = 0;
    // Kill points spread evenly over the whole run, the same on every machine.
    for (long k = 1; k <= 6; ++k) {
        const long share = k * statements / 7;
        const auto found = Contents(RunOnCopy("killed" + std::to_string(k) + ".db", share));
        int done = 0;
        for (const auto& table : kTables) {
            EXPECT_THAT(found.at(table), AnyOf(Eq(before.at(table)), Eq(after.at(table))))
                << table << " after a kill before statement " << share << " of " << statements;
            done += found.at(table) == after.at(table) && before.at(table) != after.at(table);
        }
        if (done > 0 && done < 3) ++partlyDone;
    }
    EXPECT_GT(partlyDone, 0);
}

}  // namespace
}  // namespace varnel

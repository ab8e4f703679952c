// The varnel program killed with SIGKILL while it deletes: every table is found
// either as it was or fully deleted and repaired, never half done.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>

#include "tests/support/sqlite_file.h"
#include "tests/support/varnel_process.h"
#include "tests/tasks/deletion/deletion_fixture.h"

namespace varnel {
namespace {

using ::testing::AnyOf;
using ::testing::Eq;

const std::vector<std::string> kTables = {"dim_a", "dim_b", "dim_c"};
constexpr int kElements = 8000;

class DeletionKillTest : public testing::DeletionTest {
  protected:
    //! Three slowly changing dimensions, three versions per element, two in five marked.
    void SetUp() override {
        DeletionTest::SetUp();
        for (const auto& table : kTables) {
            Customers({}, table);
            w_.Exec("CREATE INDEX ix_" + table + "_code ON " + table + " (code, region)");
            w_.Exec("INSERT INTO " + table +
                    " (id, code, region, start_date, end_date, is_current, is_deletable)"
                    " WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                    std::to_string(3 * kElements - 1) +
                    ") SELECT i + 1, 'c' || (i / 3), 1,"
                    " date('2020-01-01', '+' || (i % 3) || ' months') || ' 00:00:00',"
                    " CASE WHEN i % 3 = 2 THEN '9999-12-31 00:00:00'"
                    " ELSE date('2020-01-01', '+' || (i % 3 + 1) || ' months') || ' 00:00:00' END,"
                    " i % 3 = 2, (i * 7) % 5 < 2 FROM n");
        }
        w_.Close();
    }

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

    std::string Copy(const std::string& name) {
        const std::string path = dir_.File(name);
        std::filesystem::copy_file(w_.Path(), path);
        return path;
    }

    //! Runs varnel -del on the file through the test program, killed before the
    //! statement given unless it is 0; answers the statements sent by a whole run.
    long RunVarnel(const std::string& path, long killAt) {
        std::vector<std::string> args = {VARNEL_TEST_EXE};
        const std::string count = dir_.File("statements.txt");
        if (killAt > 0)
            args.insert(args.end(), {"--kill-at", "statement:" + std::to_string(killAt)});
        else
            args.insert(args.end(), {"--count-statements", count});
        const auto run = testing::SqliteRun(VARNEL_TEST_EXE, path, dir_.File("logs"));
        args.insert(args.end(), run.begin() + 1, run.end());
        args.push_back("-del");
        const auto end = testing::RunChild(args);
        if (killAt > 0) {
            EXPECT_TRUE(end.Signalled) << "the run ended before statement " << killAt;
            return 0;
        }
        EXPECT_EQ(end.ExitCode, 0);
        long statements = 0;
        std::ifstream(count) >> statements;
        return statements;
    }
};

TEST_F(DeletionKillTest, AKilledRunLeavesEveryTableUntouchedOrFullyDone) {
    const auto before = Contents(w_.Path());
    const std::string finished = Copy("finished.db");
    const long statements = RunVarnel(finished, 0);
    ASSERT_GT(statements, 20);
    const auto after = Contents(finished);
    for (const auto& table : kTables) ASSERT_NE(before.at(table), after.at(table)) << table;

    int partlyDone = 0;
    // Kill points spread evenly over the whole run, the same on every machine.
    constexpr long kKills = 8;
    for (long k = 1; k <= kKills; ++k) {
        const long share = k * statements / (kKills + 1);
        const std::string killed = Copy("killed" + std::to_string(k) + ".db");
        RunVarnel(killed, share);
        const auto found = Contents(killed);
        int done = 0;
        for (const auto& table : kTables) {
            EXPECT_THAT(found.at(table), AnyOf(Eq(before.at(table)), Eq(after.at(table))))
                << table << " after a kill before statement " << share << " of " << statements;
            if (found.at(table) == after.at(table)) ++done;
        }
        if (done > 0 && done < static_cast<int>(kTables.size())) ++partlyDone;
        std::cout << "killed before statement " << share << " of " << statements << ": " << done
                  << " of " << kTables.size() << " tables done\n";
    }
    EXPECT_GT(partlyDone, 0);
}

}  // namespace
}  // namespace varnel

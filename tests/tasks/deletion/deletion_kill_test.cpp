// The varnel program killed with SIGKILL while it deletes: every table is found
// either as it was or fully deleted and repaired, never half done.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
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

    //! Runs varnel -del on the file, killed after the delay given unless negative.
    double RunVarnel(const std::string& path, double killAfterSeconds) {
        auto args = testing::SqliteRun(VARNEL_EXE, path, dir_.File("logs"));
        args.push_back("-del");
        const auto end = testing::RunChild(args, {}, killAfterSeconds);
        EXPECT_TRUE(killAfterSeconds >= 0 || end.ExitCode == 0);
        return end.Seconds;
    }
};

TEST_F(DeletionKillTest, AKilledRunLeavesEveryTableUntouchedOrFullyDone) {
    const auto before = Contents(w_.Path());
    const std::string finished = Copy("finished.db");
    const double runSeconds = RunVarnel(finished, -1);
    const auto after = Contents(finished);
    for (const auto& table : kTables) ASSERT_NE(before.at(table), after.at(table)) << table;

    int partlyDone = 0;
    for (const double share : {0.2, 0.35, 0.5, 0.65, 0.8}) {
        const std::string killed = Copy("killed" + std::to_string(share) + ".db");
        RunVarnel(killed, share * runSeconds);
        const auto found = Contents(killed);
        int done = 0;
        for (const auto& table : kTables) {
            EXPECT_THAT(found.at(table), AnyOf(Eq(before.at(table)), Eq(after.at(table))))
                << table << " after a kill at " << share << " of the run";
            if (found.at(table) == after.at(table)) ++done;
        }
        if (done > 0 && done < static_cast<int>(kTables.size())) ++partlyDone;
    }
    EXPECT_GT(partlyDone, 0);
}

}  // namespace
}  // namespace varnel

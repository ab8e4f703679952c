// The varnel program killed with SIGKILL while it deletes: every table is found
// either as it was or fully deleted and repaired, never half done.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "tests/support/sqlite_file.h"
#include "tests/tasks/deletion/deletion_fixture.h"
#include "tests/tasks/kill_run.h"

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
    const auto runOnCopy = [&](const std::string& name, long killAt, long* statements = nullptr) {
        std::filesystem::copy_file(w_.Path(), dir_.File(name));
        const long sent =
            testing::RunTestProgram(dir_.File(name), "-del", dir_.File("logs"), killAt);
        if (statements) *statements = sent;
        return Contents(dir_.File(name));
    };
    long statements = 0;
    const auto after = runOnCopy("finished.db", 0, &statements);
    ASSERT_GT(statements, 20);
    int partlyDone = 0;
    // Kill points spread evenly over the whole run, the same on every machine.
    for (long k = 1; k <= 4; ++k) {
        const long share = k * statements / 5;
        const auto found = runOnCopy("killed" + std::to_string(k) + ".db", share);
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

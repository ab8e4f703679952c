// varnel -mark killed with SIGKILL, then -del: marks are all reset or complete, the
// lock is taken over, and no row is left referring to a deleted one.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "base/current_user.h"
#include "tests/support/run_doubles.h"
#include "tests/support/sqlite_file.h"
#include "tests/support/varnel_process.h"
#include "tests/support/warehouse_builder.h"
#include "tests/tasks/kill_run.h"
#include "warehouse/database_access.h"

namespace varnel {
namespace {

using ::testing::AnyOf;
using ::testing::Eq;
using ::testing::HasSubstr;

//! Referring table, its column, the dimension it refers to, the dimension's rows
//! and its own parent column filled by an expression. Products refer to categories:
//! part of those is unused only through marked rows.
struct Reference {
    std::string Table, Column, Dimension;
    int Rows;
    std::string Parent, ParentOf;
};
const std::vector<Reference> kReferences = {
    {"fact_sales", "store_id", "dim_store", 8000, "", ""},
    {"fact_sales", "product_id", "dim_product", 30000, "category_id", "(i - 1) / 8 + 1"},
    {"dim_product", "category_id", "dim_category", 4000, "", ""},
};

std::string Numbers(int count) {
    return "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
           std::to_string(count) + ") ";
}

class MarkingKillTest : public testing::RunTest {
  protected:
    //! The ids marked in each dimension, as one text per table.
    static std::map<std::string, std::string> Marks(const std::string& path) {
        auto connection = testing::OpenSqlite(path);
        std::map<std::string, std::string> marks;
        for (const auto& r : kReferences)
            marks[r.Dimension] = testing::QueryValue(
                *connection, "SELECT ifnull(group_concat(id), '') FROM (SELECT id FROM " +
                                 r.Dimension + " WHERE is_deletable = 1 ORDER BY id)");
        return marks;
    }

    std::string Copy(const std::string& name) {
        std::filesystem::copy_file(w_.Path(), dir_.File(name));
        return dir_.File(name);
    }

    testing::WarehouseBuilder w_;
};

TEST_F(MarkingKillTest, AKilledMarkingLeavesEachTableResetOrFullyMarkedAndDeletionOrphansNothing) {
    w_.Fact("fact_sales", {"id INTEGER", "store_id INTEGER", "product_id INTEGER"},
            {.PrimaryKey = "id"});
    for (const auto& r : kReferences) {
        std::vector<std::string> columns = {"id INTEGER"};
        if (!r.Parent.empty()) columns.push_back(r.Parent + " INTEGER");
        w_.Dimension(r.Dimension, columns, {.PrimaryKey = "id"});
        const std::string parent = r.Parent.empty() ? "" : ", " + r.Parent;
        const std::string parentOf = r.Parent.empty() ? "" : ", " + r.ParentOf;
        w_.Exec("INSERT INTO " + r.Dimension + " (id" + parent + ") " + Numbers(r.Rows) +
                "SELECT i" + parentOf + " FROM n");
        if (!r.Parent.empty())
            w_.Exec("CREATE INDEX ix_" + r.Parent + " ON " + r.Dimension + " (" + r.Parent + ")");
    }
    for (const auto& r : kReferences) w_.Relation(r.Dimension, "id", r.Table, r.Column);
    w_.Exec("INSERT INTO fact_sales " + Numbers(100000) +
            "SELECT i, i % 5000 + 1, (i * 7) % 22000 + 1 FROM n");
    w_.Close();

    const std::string finished = Copy("finished.db");
    const long statements = testing::RunTestProgram(finished, "-mark", dir_.File("finished"), 0);
    ASSERT_GT(statements, 20);
    const auto complete = Marks(finished);
    const std::string takeOver = "The lock left by user " + CurrentUserName() +
                                 ", whose run ended without releasing it, was taken over.";
    int partlyDone = 0;
    // Kill points spread evenly over the whole run, the same on every machine.
    for (long k = 1; k <= 4; ++k) {
        const long share = (2 * k - 1) * statements / 8;
        const std::string killed = Copy("killed" + std::to_string(k) + ".db");
        testing::RunTestProgram(killed, "-mark", dir_.File("mark" + std::to_string(k)), share);
        const auto found = Marks(killed);
        int done = 0;
        for (const auto& [table, marks] : complete) {
            ASSERT_NE(marks, "") << table;
            EXPECT_THAT(found.at(table), AnyOf(Eq(""), Eq(marks)))
                << table << " after a kill before statement " << share << " of " << statements;
            done += found.at(table) == marks;
        }
        if (done > 0 && done < static_cast<int>(complete.size())) ++partlyDone;

        bool lockLeft = false;
        {
            auto db = testing::OpenSqlite(killed);
            lockLeft = TableExists(*db, "dwm_multiuse") &&
                       testing::QueryValue(*db, "SELECT lock FROM dwm_multiuse") == "1";
        }
        const std::string logs = dir_.File("logs/del" + std::to_string(k));
        testing::RunTestProgram(killed, "-del", logs, 0);
        EXPECT_THAT(lockLeft ? testing::OnlyFileIn(logs) : takeOver, HasSubstr(takeOver));
        auto db = testing::OpenSqlite(killed);
        for (const auto& r : kReferences)
            EXPECT_EQ(
                testing::QueryValue(*db, "SELECT count(*) FROM " + r.Table + " WHERE " + r.Column +
                                             " NOT IN (SELECT id FROM " + r.Dimension + ")"),
                "0")
                << r.Table << "." << r.Column << " after a kill before statement " << share;
    }
    EXPECT_GT(partlyDone, 0);
}

}  // namespace
}  // namespace varnel

// varnel -mark killed with SIGKILL, then -del: marks are all reset or complete, the
// lock is taken over, and no row is left referring to a deleted one.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "base/current_user.h"
#include "tests/support/run_doubles.h"
#include "tests/support/sqlite_file.h"
#include "tests/support/varnel_process.h"
#include "tests/support/warehouse_builder.h"
#include "warehouse/database_access.h"

namespace varnel {
namespace {

using ::testing::AnyOf;
using ::testing::Eq;
using ::testing::HasSubstr;

constexpr int kFactRows = 400000;

//! A referring table, its column and the dimension it refers to.
struct Reference {
    std::string Table;
    std::string Column;
    std::string Dimension;
};

// Facts use stores, products and customers; products refer to categories and
// customers to regions, so part of those is unused only through marked rows.
const std::vector<Reference> kReferences = {
    {"fact_sales", "store_id", "dim_store"},       {"fact_sales", "product_id", "dim_product"},
    {"fact_sales", "customer_id", "dim_customer"}, {"dim_product", "category_id", "dim_category"},
    {"dim_customer", "region_id", "dim_region"},
};
const std::vector<std::string> kDimensions = {"dim_store", "dim_product", "dim_customer",
                                              "dim_category", "dim_region"};

class MarkingKillTest : public testing::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        w_.Fact("fact_sales",
                {"id INTEGER", "store_id INTEGER", "product_id INTEGER", "customer_id INTEGER"},
                {.PrimaryKey = "id"});
        Dimension("dim_store", "", 30000, "");
        Dimension("dim_product", "category_id", 120000, "(i - 1) / 8 + 1");
        Dimension("dim_customer", "region_id", 150000, "(i - 1) / 150 + 1");
        Dimension("dim_category", "", 15000, "");
        Dimension("dim_region", "", 1000, "");
        for (const auto& reference : kReferences)
            w_.Relation(reference.Dimension, "id", reference.Table, reference.Column);
        w_.Exec("CREATE INDEX ix_product_category ON dim_product (category_id)");
        w_.Exec("CREATE INDEX ix_customer_region ON dim_customer (region_id)");
        w_.Exec("INSERT INTO fact_sales " + Numbers(kFactRows) +
                " SELECT i, i % 20000 + 1, (i * 7) % 90000 + 1, (i * 13) % 110000 + 1 FROM n");
        w_.Close();
    }

    //! Rows 1..count of a dimension, with a parent column filled by the expression.
    void Dimension(const std::string& name, const std::string& parent, int count,
                   const std::string& parentOf) {
        std::vector<std::string> columns = {"id INTEGER"};
        if (!parent.empty()) columns.push_back(parent + " INTEGER");
        w_.Dimension(name, columns, {.PrimaryKey = "id"});
        w_.Exec("INSERT INTO " + name + " (id" + (parent.empty() ? "" : ", " + parent) + ") " +
                Numbers(count) + " SELECT i" + (parent.empty() ? "" : ", " + parentOf) + " FROM n");
    }

    static std::string Numbers(int count) {
        return "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
               std::to_string(count) + ")";
    }

    std::string Copy(const std::string& name) {
        const std::string path = dir_.File(name);
        std::filesystem::copy_file(w_.Path(), path);
        return path;
    }

    //! The ids marked in each dimension, as one text per table.
    static std::map<std::string, std::string> Marks(const std::string& path) {
        auto connection = testing::OpenSqlite(path);
        std::map<std::string, std::string> marks;
        for (const auto& table : kDimensions)
            marks[table] = testing::QueryValue(
                *connection, "SELECT ifnull(group_concat(id), '') FROM (SELECT id FROM " + table +
                                 " WHERE is_deletable = 1 ORDER BY id)");
        return marks;
    }

    //! Rows that refer to a row their dimension no longer has, per relation.
    static std::int64_t Orphans(const std::string& path) {
        auto connection = testing::OpenSqlite(path);
        std::int64_t orphans = 0;
        for (const auto& r : kReferences)
            orphans += std::stoll(testing::QueryValue(
                *connection, "SELECT count(*) FROM " + r.Table +
                                 " WHERE NOT EXISTS (SELECT 1 FROM " + r.Dimension + " WHERE " +
                                 r.Dimension + ".id = " + r.Table + "." + r.Column + ")"));
        return orphans;
    }

    //! Runs the test program with the task option on the file, killed before the
    //! statement given unless it is 0; answers the statements sent by a whole run.
    long RunVarnel(const std::string& path, const std::string& task, const std::string& logs,
                   long killAt) {
        std::vector<std::string> args = {VARNEL_TEST_EXE};
        const std::string count = dir_.File("statements.txt");
        if (killAt > 0)
            args.insert(args.end(), {"--kill-at", "statement:" + std::to_string(killAt)});
        else
            args.insert(args.end(), {"--count-statements", count});
        const auto run = testing::SqliteRun(VARNEL_TEST_EXE, path, logs);
        args.insert(args.end(), run.begin() + 1, run.end());
        args.push_back(task);
        const auto end = testing::RunChild(args);
        if (killAt > 0) {
            EXPECT_TRUE(end.Signalled) << task << " ended before statement " << killAt;
            return 0;
        }
        EXPECT_EQ(end.ExitCode, 0) << task << " on " << path;
        long statements = 0;
        std::ifstream(count) >> statements;
        return statements;
    }

    static bool LockLeft(const std::string& path) {
        auto connection = testing::OpenSqlite(path);
        return TableExists(*connection, "dwm_multiuse") &&
               testing::QueryValue(*connection, "SELECT lock FROM dwm_multiuse") == "1";
    }

    testing::WarehouseBuilder w_;
};

TEST_F(MarkingKillTest, AKilledMarkingLeavesEachTableResetOrFullyMarkedAndDeletionOrphansNothing) {
    const std::string finished = Copy("finished.db");
    const long statements = RunVarnel(finished, "-mark", dir_.File("logs/finished"), 0);
    ASSERT_GT(statements, 20);
    const auto complete = Marks(finished);
    for (const auto& table : kDimensions) ASSERT_NE(complete.at(table), "") << table;

    const std::string takeOver = "The lock left by user " + CurrentUserName() +
                                 ", whose run ended without releasing it, was taken over.";
    int partlyDone = 0;
    // Kill points spread evenly over the whole run, the same on every machine.
    for (long moment = 0; moment < 10; ++moment) {
        const long share = (2 * moment + 1) * statements / 20;
        const std::string killed = Copy("killed" + std::to_string(moment) + ".db");
        RunVarnel(killed, "-mark", dir_.File("logs/mark" + std::to_string(moment)), share);
        const auto found = Marks(killed);
        int done = 0;
        for (const auto& table : kDimensions) {
            EXPECT_THAT(found.at(table), AnyOf(Eq(""), Eq(complete.at(table))))
                << table << " after a kill before statement " << share << " of " << statements;
            if (found.at(table) == complete.at(table)) ++done;
        }
        if (done > 0 && done < static_cast<int>(kDimensions.size())) ++partlyDone;

        const bool lockLeft = LockLeft(killed);
        const std::string logs = dir_.File("logs/del" + std::to_string(moment));
        RunVarnel(killed, "-del", logs, 0);
        EXPECT_THAT(lockLeft ? testing::OnlyFileIn(logs) : takeOver, HasSubstr(takeOver));
        EXPECT_EQ(Orphans(killed), 0) << "after a kill before statement " << share;
    }
    EXPECT_GT(partlyDone, 0);
}

}  // namespace
}  // namespace varnel

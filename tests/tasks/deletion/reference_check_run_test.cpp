// The varnel program deleting while the warehouse is in use: a fact loaded
// between the marking run and the deletion run, and a writer that keeps loading
// facts for marked rows throughout a deletion run. No fact may lose its row.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/sqlite_file.h"
#include "tests/tasks/deletion/deletion_fixture.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::V;

constexpr const char* kOpen = "9999-12-31";

std::string ModeName(const ::testing::TestParamInfo<bool>& mode) {
    return mode.param ? "Atomic" : "Plain";
}

class ReferenceCheckRunTest : public testing::DeletionTest {
  protected:
    //! Runs varnel on the warehouse with the options given and a log directory of
    //! its own; returns the exit status. Standard error goes to Stderr(name).
    int RunVarnel(const std::string& name, std::vector<std::string> options) {
        std::vector<std::string> arguments = {VARNEL_EXE, "-mac",   "sqlite", "-db",
                                              w_.Path(),  "-ntaut", "-log",   dir_.File(name)};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const std::string errors = dir_.File(name + ".err");
        const pid_t child = fork();
        if (child == 0) {
            if (!std::freopen(errors.c_str(), "w", stderr)) _exit(126);
            std::vector<char*> argv;
            for (auto& argument : arguments) argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(VARNEL_EXE, argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Stderr(const std::string& name) {
        return testing::ReadFile(dir_.File(name + ".err"));
    }

    //! The run log that varnel wrote into the directory of that name.
    std::string Log(const std::string& name) {
        for (const auto& file : std::filesystem::directory_iterator(dir_.File(name)))
            if (file.path().extension() == ".txt") return testing::ReadFile(file.path().string());
        return "";
    }
};

class FactAfterMarkingTest : public ReferenceCheckRunTest,
                             public ::testing::WithParamInterface<bool> {};

TEST_P(FactAfterMarkingTest, KeepsTheRowsTheFactRefersTo) {
    const bool atomic = GetParam();
    Brands({1, 2, 3}, {});
    Customers({V(1, "A", 1, "2020-01-01", "2020-02-01", 0, 0),
               V(2, "A", 1, "2020-02-01", kOpen, 1, 0), V(3, "B", 1, "2020-01-01", kOpen, 1, 0)});
    w_.Close();
    ASSERT_EQ(RunVarnel("mark", {"-mark"}), 0) << Log("mark");
    ASSERT_EQ(
        w_.Count("dim_customer", "is_deletable = 1") + w_.Count("dim_brand", "is_deletable = 1"),
        6);
    w_.Rows("fact_sales", {"id", "customer_id", "brand_id"}, {{1, 1, 2}});
    w_.Close();

    std::vector<std::string> options = {"-del"};
    if (atomic) options.push_back("-datom");
    ASSERT_EQ(RunVarnel("delete", options), 0) << Log("delete");

    EXPECT_THAT(w_.Column("SELECT id FROM dim_brand"), ElementsAre("2"));
    if (atomic)
        EXPECT_THAT(Versions(),
                    ElementsAre("1|2020-01-01|2020-02-01|0", "2|2020-02-01|9999-12-31|1"));
    else
        EXPECT_THAT(Versions(), ElementsAre("1|2020-01-01|9999-12-31|1"));

    const std::string brandLine =
        "Kept 1 marked rows of table dim_brand that rows of referring tables refer to.";
    const std::string customerLine =
        "Kept 1 marked rows of table dim_customer that rows of referring tables refer to.";
    const std::string log = Log("delete");
    const auto summary = log.find("Varnel started on: ");
    EXPECT_LT(log.find(brandLine + "\r\n"), summary) << log;
    EXPECT_LT(log.find(customerLine + "\r\n"), summary) << log;
    EXPECT_THAT(Stderr("delete"), HasSubstr(brandLine + "\n"));
    EXPECT_THAT(Stderr("delete"), HasSubstr(customerLine + "\n"));

    // The entries count the rows deleted.
    std::vector<std::string> deleted;
    for (const auto& entry : History())
        if (entry.Category == "Deleted dimensions")
            deleted.push_back(entry.TableName + "|" + entry.RecordCount + "|" + entry.Status);
    EXPECT_THAT(deleted,
                ElementsAre("dim_brand|2|0", atomic ? "dim_customer|1|0" : "dim_customer|2|0"));
}

INSTANTIATE_TEST_SUITE_P(Modes, FactAfterMarkingTest, ::testing::Values(false, true), ModeName);

const std::vector<std::string> kDimensions = {"d_store", "d_product", "d_day"};
constexpr int kRows = 40000;

// A writer process (the sqlite3 shell) inserts one fact after another, each
// referring to marked rows that exist when it is inserted, for as long as the
// deletion runs. Any orphan would be the deletion's fault.
TEST_F(ReferenceCheckRunTest, AWriterThroughoutTheRunLeavesNoOrphan) {
    std::string columns;
    std::string picks;
    for (const auto& table : kDimensions) {
        const std::string key = table.substr(2) + "_id";
        w_.Dimension(table, {key + " INTEGER", "name VARCHAR(20)"}, {.PrimaryKey = key});
        w_.Exec("INSERT INTO " + table + " (" + key +
                ", name, is_deletable) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                "FROM n WHERE i < " +
                std::to_string(kRows) + ") SELECT i, 'n' || i, 1 FROM n");
        columns += (columns.empty() ? "" : ", ") + key;
        picks += std::string(picks.empty() ? "" : ", ") + "(SELECT " + key + " FROM " + table +
                 " WHERE is_deletable = 1 AND " + key + " >= abs(random()) % " +
                 std::to_string(kRows) + " LIMIT 1)";
    }
    w_.Fact("f_sales", {"store_id INTEGER", "product_id INTEGER", "day_id INTEGER"});
    for (const auto& table : kDimensions) {
        const std::string key = table.substr(2) + "_id";
        w_.Relation(table, key, "f_sales", key);
    }
    w_.Close();

    const std::string stop = dir_.File("stop");
    const std::string insert = "INSERT INTO f_sales (" + columns + ") SELECT " + picks + ";";
    const std::string script = dir_.File("writer.sh");
    std::ofstream(script) << "while [ ! -e '" << stop << "' ]; do echo \"" << insert
                          << "\"; done | sqlite3 -cmd '.timeout 60000' '" << w_.Path() << "' 2>"
                          << dir_.File("writer.err") << "\n";
    const pid_t writer = fork();
    if (writer == 0) {
        execl("/bin/sh", "sh", script.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto count = [this] {
        auto connection = testing::OpenSqlite(w_.Path());
        auto result = connection->Query("SELECT COUNT(*) FROM f_sales");
        result.Next();
        return result.GetInt(0).value_or(0);
    };
    const auto started = std::chrono::steady_clock::now();
    while (count() < 20 && std::chrono::steady_clock::now() - started < std::chrono::seconds(20))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::int64_t before = count();
    const auto runStart = std::chrono::steady_clock::now();
    const int status = RunVarnel("delete", {"-del"});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - runStart).count();
    const std::int64_t during = count() - before;
    std::ofstream(stop) << "";
    int writerStatus = 0;
    waitpid(writer, &writerStatus, 0);
    ASSERT_EQ(status, 0) << Log("delete");

    std::printf("run took %.2f s; the writer inserted %lld facts before it and %lld during it\n",
                seconds, static_cast<long long>(before), static_cast<long long>(during));
    EXPECT_GT(during, 0) << "the writer and the run did not overlap";
    for (const auto& table : kDimensions) {
        const std::string key = table.substr(2) + "_id";
        EXPECT_EQ(
            w_.Count("f_sales", key + " IS NOT NULL AND NOT EXISTS (SELECT 1 FROM " + table +
                                    " WHERE " + table + "." + key + " = f_sales." + key + ")"),
            0)
            << table;
        EXPECT_LT(w_.Count(table), kRows) << table << ": nothing was deleted";
    }
}

}  // namespace
}  // namespace varnel

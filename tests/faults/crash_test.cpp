// The test build of varnel killed with SIGKILL before chosen statements of every task,
// on a generated warehouse with a snowflake edge and a slowly changing dimension.
// After each kill the warehouse (and the archive) must hold what a crash may leave,
// and the next run must take over the lock and finish the job. Kill points are
// spread over the whole run, plus one seeded at random: VARNEL_FAULT_SEED=<n>
// repeats a run.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <thread>

#include "base/current_user.h"
#include "bench/warehouse_generator.h"
#include "tests/support/run_doubles.h"
#include "tests/support/sqlite_file.h"
#include "tests/support/varnel_process.h"
#include "warehouse/database_access.h"
#include "warehouse/sql_literal.h"

namespace varnel {
namespace {

using Contents = std::map<std::string, std::string>;

constexpr long kSpreadPoints = 20;
constexpr const char* kCondition = "fact_date < '2021-05-15 00:00:00'";

struct Task {
    std::string Name;
    std::vector<std::string> Options;
    //! Starts from the warehouse after a whole marking run.
    bool Marked = false;
    bool Archives = false;
    //! Removes rows: references and versions are checked after a kill.
    bool Deletes = false;
};

const std::vector<Task> kTasks = {
    {"metadata check", {"-chkmd"}, false, false, false},
    {"archiving", {"-clsf"}, false, true, false},
    {"marking", {"-mark"}, false, false, false},
    {"reports", {"-grep"}, true, false, false},
    {"deletion", {"-del"}, true, false, true},
    {"atomic deletion", {"-del", "-datom"}, true, false, true},
};

unsigned FaultSeed() {
    static const unsigned seed = [] {
        const char* set = std::getenv("VARNEL_FAULT_SEED");
        const unsigned chosen =
            set ? static_cast<unsigned>(std::strtoul(set, nullptr, 10)) : std::random_device{}();
        std::cout << "fault seed " << chosen << " (VARNEL_FAULT_SEED=" << chosen
                  << " repeats it)\n";
        return chosen;
    }();
    return seed;
}

//! Every file of a folder, one after the other (the log and any reports).
std::string FilesIn(const std::string& folder) {
    std::string all;
    if (!std::filesystem::exists(folder)) return all;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        all += testing::ReadFile(entry.path().string());
    return all;
}

//! Every table but the lock's, each as one text of its rows in row order.
Contents ReadContents(const std::string& path) {
    auto db = testing::OpenSqlite(path);
    std::vector<std::string> tables;
    {
        auto names = db->Query(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name <> 'dwm_multiuse' "
            "ORDER BY name");
        while (names.Next()) tables.push_back(*names.Get(0));
    }
    Contents contents;
    for (const auto& table : tables) {
        auto rows = db->Query("SELECT * FROM \"" + table + "\" ORDER BY rowid");
        std::string& text = contents[table];
        while (rows.Next()) {
            for (std::size_t i = 0; i < rows.ColumnCount(); ++i)
                text += rows.Get(i).value_or("<null>") + "|";
            text += "\n";
        }
    }
    return contents;
}

struct Tally {
    int KillPoints = 0;
    int Invariants = 0;
};

class CrashTest : public testing::RunTest {
  protected:
    //! The generated warehouse, and a copy of it after a whole marking run.
    void Generate() {
        auto shape = bench::StandardWarehouse(1500);
        for (auto& fact : shape.Facts) fact.ArchiveShare = 0.5;
        bench::GenerateWarehouse(Plain(), shape);
        {
            auto db = testing::OpenSqlite(Plain());
            db->Execute("UPDATE dwm_tables SET where_clause = " + SqlLiteral(kCondition) +
                        " WHERE table_type = 'FACT'");
        }
        std::filesystem::copy_file(Plain(), Marked());
        ASSERT_EQ(Run(Marked(), {"-mark"}, dir_.File("marking")).ExitCode, 0);
    }
    std::string Plain() const { return dir_.File("plain.db"); }
    std::string Marked() const { return dir_.File("marked.db"); }

    //! The test build of varnel on the file with the options; hooks go first.
    static testing::ChildEnd Run(const std::string& path, const std::vector<std::string>& options,
                                 const std::string& logs,
                                 const std::vector<std::string>& hooks = {},
                                 const std::string& archive = "") {
        auto args = testing::SqliteRun(VARNEL_TEST_EXE, path, logs);
        args.insert(args.begin() + 1, hooks.begin(), hooks.end());
        if (!archive.empty())
            args.insert(args.end(), {"-bkmac", "sqlite", "-bkdb", archive, "-bkusr", "arch"});
        args.insert(args.end(), options.begin(), options.end());
        return testing::RunChild(args);
    }

    //! A fresh copy of the task's warehouse, and an empty archive beside it.
    std::string Copy(const Task& task, const std::string& name) {
        const std::string path = dir_.File(name + ".db");
        std::filesystem::copy_file(task.Marked ? Marked() : Plain(), path);
        testing::CreateSqliteFile(Archive(path));
        return path;
    }
    static std::string Archive(const std::string& path) { return path + ".archive"; }

    //! Of the fact rows first made: "lost|in both files|left meeting the condition".
    std::string FactTally(const std::string& path) const {
        auto db = testing::OpenSqlite(path);
        db->Execute("ATTACH DATABASE " + SqlLiteral(Archive(path)) + " AS ar");
        db->Execute("ATTACH DATABASE " + SqlLiteral(Plain()) + " AS og");
        std::string tally;
        for (const std::string fact : {"fact_sales", "fact_returns"}) {
            const bool archived = testing::QueryValue(*db,
                                                      "SELECT count(*) FROM ar.sqlite_master "
                                                      "WHERE name = " +
                                                          SqlLiteral(fact)) != "0";
            const std::string inArchive =
                archived ? "(SELECT id FROM ar." + fact + ")" : "(SELECT NULL WHERE 0)";
            tally += testing::QueryValue(*db, "SELECT (SELECT count(*) FROM og." + fact +
                                                  " WHERE id NOT IN (SELECT id FROM main." + fact +
                                                  ") AND id NOT IN " + inArchive +
                                                  ") || '|' || (SELECT count(*) FROM main." + fact +
                                                  " WHERE id IN " + inArchive +
                                                  ") || '|' || (SELECT count(*) FROM main." + fact +
                                                  " WHERE " + kCondition + ")") +
                     ";";
        }
        return tally;
    }

    //! Rows of the referring tables whose reference names no row, for each relation.
    static int Orphans(Connection& db) {
        int orphans = 0;
        auto relations = db.Query(
            "SELECT primary_table, primary_columns, foreign_table, foreign_columns FROM "
            "dwm_star_relations");
        std::vector<std::array<std::string, 4>> all;
        while (relations.Next())
            all.push_back(
                {*relations.Get(0), *relations.Get(1), *relations.Get(2), *relations.Get(3)});
        for (const auto& r : all)
            orphans += std::stoi(testing::QueryValue(
                db, "SELECT count(*) FROM " + r[2] + " WHERE " + r[3] + " IS NOT NULL AND " + r[3] +
                        " NOT IN (SELECT " + r[1] + " FROM " + r[0] + ")"));
        return orphans;
    }

    //! Elements of the slowly changing dimension whose versions leave a gap or overlap,
    //! or that have other than one current version, the latest.
    static int BrokenElements(Connection& db) {
        return std::stoi(testing::QueryValue(
            db,
            "SELECT count(*) FROM (SELECT code, sum(is_current) AS currents, "
            "sum(CASE WHEN next_start IS NOT NULL AND end_date <> next_start THEN 1 ELSE 0 END)"
            " AS gaps, max(CASE WHEN next_start IS NULL THEN is_current END) AS last_current "
            "FROM (SELECT code, end_date, is_current, lead(start_date) OVER (PARTITION BY code "
            "ORDER BY start_date) AS next_start FROM dim_customer) GROUP BY code) "
            "WHERE currents <> 1 OR gaps > 0 OR last_current <> 1"));
    }

    //! Kills the task before each point, checks what the kill left, then reruns it.
    void KillAndRerun(const Task& task, Tally& tally) {
        SCOPED_TRACE(task.Name);
        const std::string at = task.Options.back();
        const std::string whole = Copy(task, at + "whole");
        const std::string counted = dir_.File(at + "whole.statements");
        const auto end = Run(whole, task.Options, dir_.File(at + "whole"),
                             {"--count-statements", counted}, Archive(whole));
        ASSERT_EQ(end.ExitCode, 0) << FilesIn(dir_.File(at + "whole"));
        long statements = 0;
        std::ifstream(counted) >> statements;
        ASSERT_GT(statements, 0);
        const Contents before = ReadContents(task.Marked ? Marked() : Plain());
        const Contents after = ReadContents(whole);
        if (task.Deletes) {
            ASSERT_NE(before, after) << "the whole run deleted nothing";
        }

        std::set<long> points;
        for (long k = 1; k <= kSpreadPoints; ++k)
            points.insert(std::max(1L, k * statements / (kSpreadPoints + 1)));
        std::mt19937 random(FaultSeed() + static_cast<unsigned>(task.Name.size()));
        points.insert(std::uniform_int_distribution<long>(1, statements)(random));

        const std::string takeOver = "The lock left by user " + CurrentUserName() +
                                     ", whose run ended without releasing it, was taken over.";
        for (const long point : points) {
            SCOPED_TRACE("killed before statement " + std::to_string(point) + " of " +
                         std::to_string(statements));
            const std::string name = at + "killed" + std::to_string(point);
            const std::string path = Copy(task, name);
            ASSERT_TRUE(Run(path, task.Options, dir_.File(name),
                            {"--kill-at", "statement:" + std::to_string(point)}, Archive(path))
                            .Signalled);
            ++tally.KillPoints;
            const Contents found = ReadContents(path);
            bool lockLeft = false;
            {
                auto db = testing::OpenSqlite(path);
                lockLeft = TableExists(*db, "dwm_multiuse") &&
                           testing::QueryValue(*db, "SELECT lock FROM dwm_multiuse") == "1";
                if (task.Deletes) {
                    EXPECT_EQ(Orphans(*db), 0);
                    EXPECT_EQ(BrokenElements(*db), 0);
                    tally.Invariants += 2;
                }
            }
            if (task.Archives) {
                const std::string facts = FactTally(path);
                EXPECT_THAT(facts, ::testing::MatchesRegex("0\\|[0-9]+\\|[0-9]+;0\\|[0-9]+\\|"
                                                           "[0-9]+;"));
                ++tally.Invariants;
                // Rows archived again need a date of their own: the archive's key holds it.
                if (!std::regex_match(facts, std::regex("0\\|0\\|[0-9]+;0\\|0\\|[0-9]+;")))
                    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
            } else {
                for (const auto& [table, rows] : after) {
                    EXPECT_TRUE(found.at(table) == rows || found.at(table) == before.at(table))
                        << table << " is neither as before nor as a whole run leaves it";
                    ++tally.Invariants;
                }
            }

            const std::string logs = dir_.File(name + "-rerun");
            EXPECT_EQ(Run(path, task.Options, logs, {}, Archive(path)).ExitCode, 0)
                << FilesIn(logs);
            if (lockLeft) {
                EXPECT_THAT(FilesIn(logs), ::testing::HasSubstr(takeOver));
            }
            EXPECT_EQ(
                testing::QueryValue(*testing::OpenSqlite(path), "SELECT lock FROM dwm_multiuse"),
                "0");
            tally.Invariants += 2 + (lockLeft ? 1 : 0);
            if (task.Archives) {
                EXPECT_THAT(FactTally(path), ::testing::MatchesRegex("0\\|0\\|0;0\\|0\\|0;"));
            } else {
                EXPECT_EQ(ReadContents(path), after) << "the rerun did not finish the job";
            }
            ++tally.Invariants;
        }
        std::cout << task.Name << ": " << statements << " statements, " << points.size()
                  << " kill points\n";
    }
};

TEST_F(CrashTest, EveryTaskKilledAnywhereLeavesAConsistentWarehouseThatTheNextRunFinishes) {
    Generate();
    Tally tally;
    for (const auto& task : kTasks) KillAndRerun(task, tally);
    std::cout << tally.KillPoints << " kill points tried, " << tally.Invariants
              << " invariants checked\n";
}

// One archiving run held after its archive commit while a second one starts: the
// second finds the lock taken, says so, fails and changes nothing.
TEST_F(CrashTest, ASecondRunWhileTheFirstArchivesFailsAndChangesNothing) {
    Generate();
    const std::string path = Copy(kTasks[1], "held");
    const std::string marker = dir_.File("held.marker");
    auto args = testing::SqliteRun(VARNEL_TEST_EXE, path, dir_.File("first"));
    args.insert(args.begin() + 1, {"--pause-at", "after-archive-commit", marker});
    args.insert(args.end(),
                {"-bkmac", "sqlite", "-bkdb", Archive(path), "-bkusr", "arch", "-clsf"});
    const pid_t first = testing::StartChild(args);
    for (int i = 0; i < 600 && !std::filesystem::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(std::filesystem::exists(marker));

    const Contents warehouse = ReadContents(path);
    const Contents archive = ReadContents(Archive(path));
    ASSERT_NE(archive, Contents{});
    const std::string status = dir_.File("status.txt");
    EXPECT_EQ(Run(path, {"-clsf", "-statusfile", status}, dir_.File("second"), {}, Archive(path))
                  .ExitCode,
              1);
    EXPECT_EQ(testing::ReadFile(status), "failure\r\n");
    EXPECT_THAT(FilesIn(dir_.File("second")),
                ::testing::HasSubstr("The machine is currently locked by user "));
    EXPECT_EQ(ReadContents(path), warehouse);
    EXPECT_EQ(ReadContents(Archive(path)), archive);
    EXPECT_TRUE(testing::FinishChild(first, 0).Signalled);
}

}  // namespace
}  // namespace varnel

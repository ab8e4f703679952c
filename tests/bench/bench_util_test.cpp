#include "bench/bench_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace varnel::bench {
namespace {

using varnel::testing::TempDir;
using varnel::testing::WriteFile;

TEST(BenchSummaryTest, MedianOfOddAndEvenCountsWithTheirRange) {
    struct Case {
        std::vector<double> Values;
        double Median, Min, Max;
    };
    const std::vector<Case> cases = {
        {{3.0, 1.0, 2.0}, 2.0, 1.0, 3.0},
        {{4.0, 1.0, 3.0, 2.0}, 2.5, 1.0, 4.0},
        {{0.7}, 0.7, 0.7, 0.7},
        {{5.0, 5.0, 1.0, 9.0, 5.0}, 5.0, 1.0, 9.0},
    };
    for (const auto& c : cases) {
        const Spread spread = Summarize(c.Values);
        EXPECT_DOUBLE_EQ(spread.Median, c.Median);
        EXPECT_DOUBLE_EQ(spread.Min, c.Min);
        EXPECT_DOUBLE_EQ(spread.Max, c.Max);
    }
}

BenchOptions Parse(std::vector<std::string> words, const std::vector<std::int64_t>& defaults) {
    static char program[] = "bench";
    std::vector<char*> argv = {program};
    for (auto& word : words) argv.push_back(word.data());
    return ParseOptions(static_cast<int>(argv.size()), argv.data(), defaults);
}

TEST(BenchOptionsTest, RunsWarehousesAndSizesInAnyOrderOrRefused) {
    struct Case {
        std::vector<std::string> Arguments;
        int Runs;
        std::string Warehouses;
        std::vector<std::int64_t> Scales;
    };
    const std::vector<Case> accepted = {
        {{}, 5, "", {100, 200}},
        {{"--runs", "7", "10"}, 7, "", {10}},
        {{"10", "--warehouses", "/w", "20", "--runs", "9"}, 9, "/w", {10, 20}},
    };
    for (const auto& c : accepted) {
        const BenchOptions options = Parse(c.Arguments, {100, 200});
        EXPECT_EQ(options.Runs, c.Runs);
        EXPECT_EQ(options.Warehouses, c.Warehouses);
        EXPECT_EQ(options.Scales, c.Scales);
    }
    const std::vector<std::vector<std::string>> refused = {
        {"--runs"}, {"--runs", "0"}, {"--runs", "3x"}, {"--quick"}, {"1e6"}, {"-5"},
    };
    for (const auto& words : refused)
        EXPECT_THROW(Parse(words, {1}), std::invalid_argument) << words.front();
}

// The peak is the child's, not this process's: a 64 MB buffer shows, a bare shell
// does not, and exit statuses and environment reach the caller and the child.
TEST(BenchChildTest, PeakMemoryEnvironmentInputAndFailures) {
    const ChildRun big =
        RunChild({{"dd", "if=/dev/zero", "of=/dev/null", "bs=64M", "count=1"}, {}, ""});
    EXPECT_GT(big.PeakRssMb, 60);
    const ChildRun small = RunChild({{"true"}, {}, ""});
    EXPECT_LT(small.PeakRssMb, 30);
    EXPECT_GT(small.Seconds, 0);

    TempDir dir;
    const std::string input = dir.File("input.txt");
    WriteFile(input, "hello\n");
    const std::string check = "read line && [ \"$line\" = \"$WORD\" ] && [ \"$HOME\" = /nowhere ]";
    EXPECT_NO_THROW(
        RunChild({{"sh", "-c", check}, {{"WORD", "hello"}, {"HOME", "/nowhere"}}, input}));
    EXPECT_THROW(RunChild({{"sh", "-c", check}, {{"WORD", "other"}, {"HOME", "/nowhere"}}, input}),
                 std::runtime_error);
    EXPECT_THROW(RunChild({{"sh", "-c", "exit 3"}, {}, ""}), std::runtime_error);
    EXPECT_THROW(RunChild({{"sh", "-c", "kill -9 $$"}, {}, ""}), std::runtime_error);
    EXPECT_THROW(RunChild({{"no-such-program-here"}, {}, ""}), std::runtime_error);
}

TEST(BenchAlternationTest, EachRunPreparedAndTheSidesTakeTurnsGoingFirst) {
    std::string order;
    const auto side = [&](char name, double seconds, double rss) {
        return [&order, name, seconds, rss] {
            order += name;
            return ChildRun{seconds, rss};
        };
    };
    const Alternation runs = Alternate(
        3, [&] { order += 'p'; }, side('V', 2.0, 40.0), side('B', 1.0, 90.0));
    EXPECT_EQ(order, "pVBpBVpVB");
    EXPECT_EQ(runs.Varnel, (std::vector<double>{2.0, 2.0, 2.0}));
    EXPECT_EQ(runs.Bare, (std::vector<double>{1.0, 1.0, 1.0}));
    // The bare shell's memory is not Varnel's.
    EXPECT_DOUBLE_EQ(runs.VarnelPeakRssMb, 40.0);
}

TEST(BenchWarehouseTest, SharedWarehouseIsGeneratedOnceAndComplete) {
    TempDir dir;
    BenchOptions options;
    options.Warehouses = dir.File("shared");
    const std::string path = StandardWarehouseFile(options, 500, dir.File("own"));
    EXPECT_EQ(path, dir.File("shared") + "/standard_500.db");
    EXPECT_FALSE(std::filesystem::exists(path + ".partial"));
    {
        auto db = OpenSqlite(path);
        auto rows = db->Query("SELECT count(*) FROM fact_sales");
        ASSERT_TRUE(rows.Next());
        EXPECT_EQ(rows.GetInt(0), 500);
        db->Execute("CREATE TABLE left_by_first_user (x INTEGER)");
    }
    // A second program takes the same file as it is, not a new one.
    EXPECT_EQ(StandardWarehouseFile(options, 500, dir.File("own")), path);
    auto db = OpenSqlite(path);
    auto tables = db->Query("SELECT count(*) FROM sqlite_master WHERE name = 'left_by_first_user'");
    ASSERT_TRUE(tables.Next());
    EXPECT_EQ(tables.GetInt(0), 1);
}

}  // namespace
}  // namespace varnel::bench

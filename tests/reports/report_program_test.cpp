// The varnel program writing the reports: the three files with the run's stamp, and
// a memory peak that does not grow with the number of marked rows.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "tests/support/run_doubles.h"
#include "tests/support/varnel_process.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using testing::ReadFile;

//! Runs varnel -grep on the warehouse with its logs in the folder given.
testing::ChildEnd Grep(const std::string& path, const std::string& logs) {
    auto args = testing::SqliteRun(VARNEL_EXE, path, logs);
    args.push_back("-grep");
    return testing::RunChild(args);
}

//! A warehouse whose one dimension has the given number of marked rows.
void MarkedDimension(testing::WarehouseBuilder& w, int marked) {
    w.Dimension("dim_customer", {"id INTEGER", "code VARCHAR(12)"},
                {.PrimaryKey = "id", .OrgPkey = "code", .Surkey = true});
    // NOTE: sent through the SQLite driver, a statement that begins with WITH
    // inserts nothing; with the INSERT first it runs whole.
    w.Exec(
        "INSERT INTO dim_customer (id, code, surkey, is_deletable) "
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(marked) + ") SELECT i, printf('C%08d', i), i, 1 FROM n");
    w.Close();
}

class ReportProgramTest : public testing::RunTest {};

TEST_F(ReportProgramTest, GrepWritesTheThreePagesStampedWithTheRunsStart) {
    testing::WarehouseBuilder w;
    MarkedDimension(w, 3);
    const std::string logs = dir_.File("logs");
    ASSERT_EQ(Grep(w.Path(), logs).ExitCode, 0);

    // The log carries the run's stamp in its name; the pages carry the same one.
    std::string stamp;
    const std::regex logName("Varnel_Log([0-9-]{18})\\.txt");
    for (const auto& entry : std::filesystem::directory_iterator(logs)) {
        std::smatch match;
        const std::string name = entry.path().filename().string();
        if (std::regex_match(name, match, logName)) stamp = match[1];
    }
    ASSERT_FALSE(stamp.empty());
    const std::string summary = ReadFile(logs + "/SummaryReport" + stamp + ".html");
    const std::string detailed = ReadFile(logs + "/DetailedReport" + stamp + ".html");
    const std::string filters = ReadFile(logs + "/TableFilterReport" + stamp + ".html");
    EXPECT_THAT(summary, HasSubstr("<A HREF=\"DetailedReport" + stamp + ".html\">"));
    EXPECT_THAT(filters, HasSubstr("<A HREF=\"DetailedReport" + stamp + ".html\">"));
    EXPECT_THAT(summary, HasSubstr("<TD>dim_customer</TD>\r\n\t<TD><p align=center>3</FONT></TD>"));
    EXPECT_THAT(detailed, HasSubstr("<TD>C00000003</TD>\r\n<TD>3</TD>\r\n</TR>\r\n\r\n</TABLE>"));
}

// Marked rows go from the cursor to the file one by one; were the result loaded
// whole, 200,000 rows would cost tens of megabytes more than ten.
TEST_F(ReportProgramTest, PeakMemoryDoesNotGrowWithTheMarkedRows) {
    testing::WarehouseBuilder small;
    MarkedDimension(small, 10);
    testing::WarehouseBuilder large;
    MarkedDimension(large, 500000);
    const auto few = Grep(small.Path(), dir_.File("few"));
    const auto many = Grep(large.Path(), dir_.File("many"));
    ASSERT_EQ(few.ExitCode, 0);
    ASSERT_EQ(many.ExitCode, 0);
    EXPECT_LT(many.PeakKilobytes - few.PeakKilobytes, 16 * 1024)
        << "10 rows: " << few.PeakKilobytes << " kB, 500000 rows: " << many.PeakKilobytes << " kB";
}

}  // namespace
}  // namespace varnel

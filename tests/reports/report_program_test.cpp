// The varnel program writing the reports: a memory peak that does not grow with the
// number of marked rows.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/run_doubles.h"
#include "tests/support/varnel_process.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

using ::testing::HasSubstr;
using testing::ReadFile;

class ReportProgramTest : public testing::RunTest {
  protected:
    //! Runs varnel -grep on a warehouse whose one dimension has this many marked rows.
    testing::ChildEnd Grep(testing::WarehouseBuilder& w, int marked, const std::string& logs) {
        w.Dimension("dim_customer", {"id INTEGER", "code VARCHAR(12)"},
                    {.PrimaryKey = "id", .OrgPkey = "code", .Surkey = true});
        // NOTE: sent through the SQLite driver, a statement that begins with WITH
        // inserts nothing; with the INSERT first it runs whole.
        w.Exec(
            "INSERT INTO dim_customer (id, code, surkey, is_deletable) "
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
            std::to_string(marked) + ") SELECT i, printf('C%08d', i), i, 1 FROM n");
        w.Close();
        auto args = testing::SqliteRun(VARNEL_EXE, w.Path(), dir_.File(logs));
        args.push_back("-grep");
        return testing::RunChild(args);
    }
};

// Marked rows go from the cursor to the file one by one; were the result loaded
// whole, 500,000 rows would cost tens of megabytes more than ten.
TEST_F(ReportProgramTest, MemoryDoesNotGrowWithTheMarkedRows) {
    testing::WarehouseBuilder small, large;
    const auto few = Grep(small, 10, "few");
    const auto many = Grep(large, 500000, "many");
    ASSERT_EQ(few.ExitCode, 0);
    ASSERT_EQ(many.ExitCode, 0);
#ifndef __SANITIZE_ADDRESS__
    // AddressSanitizer holds freed memory back for reuse checks: the peak then says nothing.
    EXPECT_LT(many.PeakKilobytes - few.PeakKilobytes, 16 * 1024)
        << "10 rows: " << few.PeakKilobytes << " kB, 500000 rows: " << many.PeakKilobytes << " kB";
#endif

    // Every marked row reaches the detailed page, the last one too.
    std::string detailed;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.File("few")))
        if (entry.path().filename().string().starts_with("DetailedReport"))
            detailed = ReadFile(entry.path().string());
    EXPECT_THAT(detailed, HasSubstr("<TD>C00000010</TD>\r\n<TD>10</TD>\r\n</TR>\r\n\r\n</TABLE>"));
}

}  // namespace
}  // namespace varnel

// The job history against real SQLite files through the real driver.

#include "warehouse/job_history.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "tests/support/matchers.h"
#include "tests/support/temp_dir.h"

namespace varnel {
namespace {

using testing::HistoryIs;
using testing::ReadJobHistory;

class JobHistoryTest : public ::testing::Test {
  protected:
    testing::TempDir dir_;
    const std::string path_ = dir_.File("one/two/history.db");
};

TEST_F(JobHistoryTest, EntriesKeepTheirFieldsAndTheStoreIsMadeOnTheFirst) {
    JobHistoryRecord record(path_);
    record.ArchiveServerName = "archive-server";
    record.TableName = "fact_sales";
    record.Message = "Table 'fact_sales' isn't there; \"quoted\"\r\nsecond line";
    record.Status = 3;
    record.StartTime = Timestamp{2024, 2, 29, 23, 59, 58};
    record.EndTime = Timestamp{2024, 3, 1, 0, 0, 5};
    record.RecordCount = 2.5;
    record.JobId = "job-42";
    record.WriteEntry(6, "Varnel", "Archived fact tables");
    record.TableName = "dim_customer";
    record.RecordCount = 9007199254740992.0;  // 2^53: sixteen digits
    record.Status = 0;
    record.StartTime.reset();
    record.EndTime.reset();
    record.WriteEntry(6, "Varnel");

    const auto e = ReadJobHistory(path_);
    EXPECT_THAT(e, ::testing::ElementsAre(HistoryIs("Archived fact tables|fact_sales|3|2.5"),
                                          HistoryIs("|dim_customer|0|9007199254740992")));
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].EntryKind + "|" + e[0].Application + "|" + e[0].ArchiveServerName + "|" +
                  e[0].JobId + "|" + *e[0].StartTime + "|" + *e[0].EndTime,
              "6|Varnel|archive-server|job-42|2024-02-29 23:59:58|2024-03-01 00:00:05");
    EXPECT_EQ(e[0].Message, record.Message);
    EXPECT_EQ(e[1].StartTime, std::nullopt);
}

TEST_F(JobHistoryTest, TwoProcessesWritingAtOnceLoseNoEntry) {
    constexpr int kEntries = 40;
    const auto writeAll = [&](const std::string& job) {
        JobHistoryRecord record(path_);
        record.JobId = job;
        for (int i = 0; i < kEntries; ++i) record.WriteEntry(6, "Varnel");
    };
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        try {
            writeAll("child");
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    EXPECT_NO_THROW(writeAll("parent"));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child's writes failed";
    const auto entries = ReadJobHistory(path_);
    EXPECT_EQ(entries.size(), 2u * kEntries);
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                            [](const auto& entry) { return entry.JobId == "parent"; }),
              kEntries);
}

}  // namespace
}  // namespace varnel

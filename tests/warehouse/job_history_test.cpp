// The job history against real SQLite files through the real driver.

#include "warehouse/job_history.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/job_history_reader.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace varnel {
namespace {

using testing::ReadJobHistory;
using testing::ScopedEnv;
using testing::TempDir;

TEST(JobHistoryTest, EachEntryKeepsTheFieldsOfItsMomentAndUnsetDatesAreNull) {
    TempDir dir;
    const std::string path = dir.File("history.db");
    JobHistoryRecord record(path);
    record.ServerName = "dwh-server";
    record.TableName = "fact_sales";
    record.ArchiveServerName = "archive-server";
    record.ArchiveTableName = "fact_arch";
    record.ArchiveUserName = "archiver";
    record.Remark = "sale_date < '2020-01-01'";
    record.Status = 3;
    record.Message = "Table 'fact_sales' isn't there; \"quoted\"\r\nsecond line";
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

    const auto e = ReadJobHistory(path);
    ASSERT_EQ(e.size(), 2u);
    const std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>> fields = {
        {e[0].EntryKind, "6"},
        {e[0].Application, "Varnel"},
        {e[0].Category, "Archived fact tables"},
        {e[0].ServerName, "dwh-server"},
        {e[0].TableName, "fact_sales"},
        {e[0].ArchiveServerName, "archive-server"},
        {e[0].ArchiveTableName, "fact_arch"},
        {e[0].ArchiveUserName, "archiver"},
        {e[0].Remark, "sale_date < '2020-01-01'"},
        {e[0].Status, "3"},
        {e[0].Message, "Table 'fact_sales' isn't there; \"quoted\"\r\nsecond line"},
        {e[0].StartTime, "2024-02-29 23:59:58"},
        {e[0].EndTime, "2024-03-01 00:00:05"},
        {e[0].RecordCount, "2.5"},
        {e[0].JobId, "job-42"},
        {e[1].TableName, "dim_customer"},
        {e[1].StartTime, std::nullopt},
        {e[1].EndTime, std::nullopt},
        {e[1].RecordCount, "9007199254740992"},
    };
    for (std::size_t i = 0; i < fields.size(); ++i)
        EXPECT_EQ(fields[i].first, fields[i].second) << "field " << i;
}

TEST(JobHistoryTest, StoreAndItsFoldersAreCreatedOnFirstEntryAndLaterOnesAppend) {
    TempDir dir;
    const std::string path = dir.File("one/two/three/history.db");
    ScopedEnv history("VARNEL_HISTORY", path.c_str());
    for (const char* job : {"first", "second"}) {
        JobHistoryRecord record;
        EXPECT_EQ(record.StorePath(), path);
        record.JobId = job;
        record.WriteEntry(6, "Varnel");
    }
    const auto entries = ReadJobHistory(path);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].JobId, "second");
}

TEST(JobHistoryTest, TwoProcessesWritingAtOnceLoseNoEntry) {
    TempDir dir;
    const std::string path = dir.File("history.db");
    constexpr int kEntries = 40;
    const auto writeAll = [&](const std::string& job) {
        JobHistoryRecord record(path);
        record.JobId = job;
        for (int i = 0; i < kEntries; ++i) record.WriteEntry(6, "Varnel");
    };
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        int code = 0;
        try {
            writeAll("child");
        } catch (...) {
            code = 1;
        }
        _exit(code);
    }
    EXPECT_NO_THROW(writeAll("parent"));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the child's writes failed";
    int parent = 0;
    int fromChild = 0;
    for (const auto& entry : ReadJobHistory(path)) (entry.JobId == "parent" ? parent : fromChild)++;
    EXPECT_EQ(parent, kEntries);
    EXPECT_EQ(fromChild, kEntries);
}

TEST(JobHistoryTest, FailuresThrowNamingTheStoreAndALaterEntryRetries) {
    TempDir dir;
    const std::string notADatabase = dir.File("history.db");
    testing::WriteFile(notADatabase, std::string(4096, 'x'));
    const std::string blocker = dir.File("blocker");
    testing::WriteFile(blocker, "a file where a folder should be");
    const std::string underAFile = blocker + "/history.db";
    for (const std::string& path : {notADatabase, underAFile}) {
        JobHistoryRecord record(path);
        try {
            record.WriteEntry(6, "Varnel");
            ADD_FAILURE() << "no error for " << path;
        } catch (const std::runtime_error& error) {
            EXPECT_THAT(error.what(), ::testing::HasSubstr("'" + path + "'"));
        }
    }
    JobHistoryRecord record(underAFile);
    std::filesystem::remove(blocker);
    record.WriteEntry(6, "Varnel");
    EXPECT_EQ(ReadJobHistory(underAFile).size(), 1u);
}

TEST(JobHistoryPathTest, FollowsTheEnvironmentInOrder) {
    ScopedEnv history("VARNEL_HISTORY", "/srv/varnel/history.db");
    ScopedEnv dataHome("XDG_DATA_HOME", "/data/home");
    ScopedEnv home("HOME", "/home/operator");
    EXPECT_EQ(JobHistoryPath(), "/srv/varnel/history.db");
    setenv("VARNEL_HISTORY", "", 1);
    EXPECT_EQ(JobHistoryPath(), "/data/home/varnel/job_history.db");
    setenv("XDG_DATA_HOME", "", 1);  // empty counts as unset
    EXPECT_EQ(JobHistoryPath(), "/home/operator/.local/share/varnel/job_history.db");
}

}  // namespace
}  // namespace varnel

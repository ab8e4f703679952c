// The job history against real SQLite files through the real driver: what an entry
// keeps, where the store lives and how it is created, and how failures are reported.

#include "warehouse/job_history.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "tests/support/job_history_reader.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace varnel {
namespace {

using ::testing::HasSubstr;
using testing::JobHistoryEntry;
using testing::ReadJobHistory;
using testing::TempDir;

using testing::ScopedEnv;

std::string LocalNowText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

//! A record with every field set to a distinct value.
JobHistoryRecord FilledRecord(const std::string& path) {
    JobHistoryRecord record(path);
    record.ServerName = "dwh-server";
    record.DatabaseName = "sales_dw";
    record.TableName = "fact_sales";
    record.UserName = "loader";
    record.ArchiveServerName = "archive-server";
    record.ArchiveDatabaseName = "sales_archive";
    record.ArchiveTableName = "fact_sales";
    record.ArchiveUserName = "archiver";
    record.Remark = "sale_date < '2020-01-01'";
    record.Status = 3;
    record.Message = "Table 'fact_sales' isn't there; \"quoted\"\r\nsecond line";
    record.LogFile = "/var/log/varnel/run 1.log";
    record.StartTime = Timestamp{2024, 2, 29, 23, 59, 58};
    record.EndTime = Timestamp{2024, 3, 1, 0, 0, 5};
    record.RecordCount = 2.5;
    record.CountUnit = "records archived";
    record.JobId = "job-42";
    return record;
}

TEST(JobHistoryTest, EntryKeepsEveryFieldAsSet) {
    TempDir dir;
    const std::string path = dir.File("history.db");
    const std::string before = LocalNowText();
    auto record = FilledRecord(path);
    record.WriteEntry(6, "Varnel", "Archived fact tables");
    const std::string after = LocalNowText();

    const auto entries = ReadJobHistory(path);
    ASSERT_EQ(entries.size(), 1u);
    const JobHistoryEntry& e = entries[0];
    EXPECT_EQ(e.EntryKind, "6");
    EXPECT_EQ(e.Application, "Varnel");
    EXPECT_EQ(e.Category, "Archived fact tables");
    EXPECT_GE(e.WrittenAt, before);
    EXPECT_LE(e.WrittenAt, after);
    EXPECT_EQ(e.ServerName, "dwh-server");
    EXPECT_EQ(e.DatabaseName, "sales_dw");
    EXPECT_EQ(e.TableName, "fact_sales");
    EXPECT_EQ(e.UserName, "loader");
    EXPECT_EQ(e.ArchiveServerName, "archive-server");
    EXPECT_EQ(e.ArchiveDatabaseName, "sales_archive");
    EXPECT_EQ(e.ArchiveTableName, "fact_sales");
    EXPECT_EQ(e.ArchiveUserName, "archiver");
    EXPECT_EQ(e.Remark, "sale_date < '2020-01-01'");
    EXPECT_EQ(e.Status, "3");
    EXPECT_EQ(e.Message, "Table 'fact_sales' isn't there; \"quoted\"\r\nsecond line");
    EXPECT_EQ(e.LogFile, "/var/log/varnel/run 1.log");
    EXPECT_EQ(e.StartTime, "2024-02-29 23:59:58");
    EXPECT_EQ(e.EndTime, "2024-03-01 00:00:05");
    EXPECT_EQ(e.RecordCount, "2.5");
    EXPECT_EQ(e.CountUnit, "records archived");
    EXPECT_EQ(e.JobId, "job-42");
}

TEST(JobHistoryTest, UnsetDatesAreNullAndLargeCountsKeepEveryDigit) {
    TempDir dir;
    const std::string path = dir.File("history.db");
    JobHistoryRecord record(path);
    record.RecordCount = 123456789012345.0;
    record.WriteEntry(6, "Varnel");
    record.RecordCount = 9007199254740992.0;  // 2^53: sixteen digits
    record.WriteEntry(6, "Varnel");

    const auto entries = ReadJobHistory(path);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].StartTime, std::nullopt);
    EXPECT_EQ(entries[0].EndTime, std::nullopt);
    EXPECT_EQ(entries[0].Category, "");
    EXPECT_EQ(entries[0].Status, "0");
    EXPECT_EQ(entries[0].ServerName, "");
    EXPECT_EQ(entries[0].RecordCount, "123456789012345");
    EXPECT_EQ(entries[1].RecordCount, "9007199254740992");
}

TEST(JobHistoryTest, OneRecordWritesAnEntryPerCallWithTheFieldsOfThatMoment) {
    TempDir dir;
    const std::string path = dir.File("history.db");
    auto record = FilledRecord(path);
    record.WriteEntry(6, "Varnel", "Deleted dimensions");
    record.TableName = "dim_customer";
    record.RecordCount = 17;
    record.Status = 0;
    record.EndTime.reset();
    record.WriteEntry(6, "Varnel", "Marked dimensions");

    const auto entries = ReadJobHistory(path);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].TableName, "fact_sales");
    EXPECT_EQ(entries[0].RecordCount, "2.5");
    EXPECT_EQ(entries[0].Status, "3");
    EXPECT_EQ(entries[0].EndTime, "2024-03-01 00:00:05");
    EXPECT_EQ(entries[0].Category, "Deleted dimensions");
    EXPECT_EQ(entries[1].TableName, "dim_customer");
    EXPECT_EQ(entries[1].RecordCount, "17");
    EXPECT_EQ(entries[1].Status, "0");
    EXPECT_EQ(entries[1].EndTime, std::nullopt);
    EXPECT_EQ(entries[1].Category, "Marked dimensions");
    EXPECT_EQ(entries[1].ServerName, "dwh-server");
    EXPECT_EQ(entries[1].JobId, "job-42");
}

TEST(JobHistoryTest, StoreAndItsFoldersAreCreatedOnFirstEntryAndLaterOnesAppend) {
    TempDir dir;
    const std::string path = dir.File("one/two/three/history.db");
    ScopedEnv history("VARNEL_HISTORY", path.c_str());

    JobHistoryRecord first;
    EXPECT_EQ(first.StorePath(), path);
    EXPECT_FALSE(std::filesystem::exists(path)) << "created before anything was written";
    first.JobId = "first";
    first.WriteEntry(6, "Varnel");
    ASSERT_TRUE(std::filesystem::is_regular_file(path));

    JobHistoryRecord second;
    second.JobId = "second";
    second.WriteEntry(6, "Varnel");

    const auto entries = ReadJobHistory(path);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].JobId, "first");
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
            EXPECT_THAT(error.what(), HasSubstr("'" + path + "'"));
        }
    }

    JobHistoryRecord record(underAFile);
    EXPECT_THROW(record.WriteEntry(6, "Varnel"), std::runtime_error);
    std::filesystem::remove(blocker);
    record.WriteEntry(6, "Varnel");
    EXPECT_EQ(ReadJobHistory(underAFile).size(), 1u);
    EXPECT_TRUE(ReadJobHistory(dir.File("never-written.db")).empty());
}

TEST(JobHistoryPathTest, FollowsTheEnvironmentInOrder) {
    ScopedEnv history("VARNEL_HISTORY", "/srv/varnel/history.db");
    ScopedEnv dataHome("XDG_DATA_HOME", "/data/home");
    ScopedEnv home("HOME", "/home/operator");
    EXPECT_EQ(JobHistoryPath(), "/srv/varnel/history.db");

    setenv("VARNEL_HISTORY", "", 1);
    EXPECT_EQ(JobHistoryPath(), "/data/home/varnel/job_history.db");

    unsetenv("VARNEL_HISTORY");
    EXPECT_EQ(JobHistoryPath(), "/data/home/varnel/job_history.db");

    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(JobHistoryPath(), "/home/operator/.local/share/varnel/job_history.db");

    // An empty XDG_DATA_HOME counts as unset.
    setenv("XDG_DATA_HOME", "", 1);
    EXPECT_EQ(JobHistoryPath(), "/home/operator/.local/share/varnel/job_history.db");
}

}  // namespace
}  // namespace varnel

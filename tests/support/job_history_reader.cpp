#include "tests/support/job_history_reader.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "tests/support/sqlite_file.h"
#include "warehouse/odbc.h"

namespace varnel::testing {

namespace {

// The column list is spelled out here on its own rather than taken from the writer,
// so that a renamed or missing column shows up as a failing read.
constexpr const char* kSelect =
    "SELECT entry_kind, application, category, written_at, server_name, database_name, "
    "table_name, user_name, archive_server_name, archive_database_name, archive_table_name, "
    "archive_user_name, remark, status, message, log_file, start_time, end_time, "
    "quote(record_count), count_unit, job_id FROM job_history ORDER BY id";

// NOTE: SQLite's text form of a REAL keeps 15 digits; quote() gives enough digits to
// recover the stored double, which is then written in its shortest exact form.
std::string ShortestNumberText(const std::string& quoted) {
    const double value = std::strtod(quoted.c_str(), nullptr);
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

}  // namespace

std::vector<JobHistoryEntry> ReadJobHistory(const std::string& path) {
    std::vector<JobHistoryEntry> entries;
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored)) return entries;
    auto connection = OpenSqlite(path);
    if (QueryValue(*connection,
                   "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                   "name = 'job_history'") == "0")
        return entries;

    auto result = connection->Query(kSelect);
    while (result.Next()) {
        std::size_t column = 0;
        const auto text = [&]() { return result.Get(column++).value_or(""); };
        JobHistoryEntry entry;
        entry.EntryKind = text();
        entry.Application = text();
        entry.Category = text();
        entry.WrittenAt = text();
        entry.ServerName = text();
        entry.DatabaseName = text();
        entry.TableName = text();
        entry.UserName = text();
        entry.ArchiveServerName = text();
        entry.ArchiveDatabaseName = text();
        entry.ArchiveTableName = text();
        entry.ArchiveUserName = text();
        entry.Remark = text();
        entry.Status = text();
        entry.Message = text();
        entry.LogFile = text();
        entry.StartTime = result.Get(column++);
        entry.EndTime = result.Get(column++);
        entry.RecordCount = ShortestNumberText(text());
        entry.CountUnit = text();
        entry.JobId = text();
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace varnel::testing

#include "tests/support/job_history_reader.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>

#include "tests/support/sqlite_file.h"
#include "warehouse/odbc.h"

namespace varnel::testing {

namespace {

// The columns are named here rather than taken from the writer, so that a renamed
// or missing column shows up as a failing read. quote() keeps every digit of the
// stored double, which is then written in its shortest exact form.
constexpr const char* kSelect =
    "SELECT entry_kind, application, category, written_at, server_name, database_name, "
    "table_name, user_name, archive_server_name, archive_database_name, archive_table_name, "
    "archive_user_name, remark, status, message, log_file, quote(record_count), count_unit, "
    "job_id, start_time, end_time FROM job_history ORDER BY id";

using E = JobHistoryEntry;
constexpr std::string E::*kTexts[] = {&E::EntryKind,
                                      &E::Application,
                                      &E::Category,
                                      &E::WrittenAt,
                                      &E::ServerName,
                                      &E::DatabaseName,
                                      &E::TableName,
                                      &E::UserName,
                                      &E::ArchiveServerName,
                                      &E::ArchiveDatabaseName,
                                      &E::ArchiveTableName,
                                      &E::ArchiveUserName,
                                      &E::Remark,
                                      &E::Status,
                                      &E::Message,
                                      &E::LogFile,
                                      &E::RecordCount,
                                      &E::CountUnit,
                                      &E::JobId};

}  // namespace

std::string Summary(const JobHistoryEntry& e) {
    return e.Category + "|" + e.TableName + "|" + e.Status + "|" + e.RecordCount;
}

std::vector<JobHistoryEntry> ReadJobHistory(const std::string& path) {
    std::vector<JobHistoryEntry> entries;
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored)) return entries;
    auto connection = OpenSqlite(path);
    if (QueryValue(*connection, "SELECT count(*) FROM sqlite_master WHERE name = 'job_history'") ==
        "0")
        return entries;
    auto result = connection->Query(kSelect);
    while (result.Next()) {
        JobHistoryEntry& entry = entries.emplace_back();
        std::size_t column = 0;
        for (const auto text : kTexts) entry.*text = result.Get(column++).value_or("");
        entry.StartTime = result.Get(column++);
        entry.EndTime = result.Get(column);
        const double count = std::strtod(entry.RecordCount.c_str(), nullptr);
        char buffer[64];
        entry.RecordCount.assign(buffer, std::to_chars(buffer, buffer + sizeof buffer, count).ptr);
    }
    return entries;
}

}  // namespace varnel::testing

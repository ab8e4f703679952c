#pragma once

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <ostream>

#include "tests/support/sqlite_file.h"

namespace varnel::testing {

//! One stored job-history entry as text: RecordCount is the shortest text that reads back as
//! the stored double ("2.5"); the dates are "YYYY-MM-DD HH:MM:SS" or unset for Null.
struct JobHistoryEntry {
    std::string EntryKind, Application, Category, WrittenAt;
    std::string ServerName, DatabaseName, TableName, UserName;
    std::string ArchiveServerName, ArchiveDatabaseName, ArchiveTableName, ArchiveUserName;
    std::string Remark, Status, Message, LogFile;
    std::optional<std::string> StartTime, EndTime;
    std::string RecordCount, CountUnit, JobId;
};

//! "category|table|status|record count", what most tests check of an entry.
inline std::string Summary(const JobHistoryEntry& e) {
    return e.Category + "|" + e.TableName + "|" + e.Status + "|" + e.RecordCount;
}
inline void PrintTo(const JobHistoryEntry& entry, std::ostream* out) {
    *out << Summary(entry);
}

//! The entries at this path in the order written; none when the file or its table is missing.
inline std::vector<JobHistoryEntry> ReadJobHistory(const std::string& path) {
    if (!std::filesystem::exists(path)) return {};
    auto connection = OpenSqlite(path);
    if (QueryValue(*connection, "SELECT 1 FROM sqlite_master WHERE name = 'job_history'") != "1")
        return {};
    std::vector<JobHistoryEntry> entries;
    // Named here, so that a renamed or missing column fails; quote() keeps every digit.
    auto result = connection->Query(
        "SELECT entry_kind, application, category, written_at, server_name, database_name, "
        "table_name, user_name, archive_server_name, archive_database_name, archive_table_name, "
        "archive_user_name, remark, status, message, log_file, start_time, end_time, "
        "quote(record_count), count_unit, job_id FROM job_history ORDER BY id");
    while (result.Next()) {
        std::size_t column = 0;
        const auto value = [&] { return result.Get(column++); };
        const auto text = [&] { return value().value_or(""); };
        // Braced initializers are evaluated in order, so the columns are read in order.
        JobHistoryEntry& e = entries.emplace_back(
            JobHistoryEntry{text(), text(), text(),  text(),  text(), text(), text(),
                            text(), text(), text(),  text(),  text(), text(), text(),
                            text(), text(), value(), value(), text(), text(), text()});
        char buffer[64];
        const double count = std::strtod(e.RecordCount.c_str(), nullptr);
        e.RecordCount.assign(buffer, std::to_chars(buffer, buffer + sizeof buffer, count).ptr);
    }
    return entries;
}

}  // namespace varnel::testing

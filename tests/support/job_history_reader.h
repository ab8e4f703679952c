#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace varnel::testing {

//! One stored job-history entry, every value as text. Status is the number as
//! text ("3"); RecordCount is the shortest text that reads back as the stored
//! double ("2.5", "9876543210"); the dates are "YYYY-MM-DD HH:MM:SS" or unset for Null.
struct JobHistoryEntry {
    std::string EntryKind, Application, Category, WrittenAt;
    std::string ServerName, DatabaseName, TableName, UserName;
    std::string ArchiveServerName, ArchiveDatabaseName, ArchiveTableName, ArchiveUserName;
    std::string Remark, Status, Message, LogFile;
    std::optional<std::string> StartTime, EndTime;
    std::string RecordCount, CountUnit, JobId;
};

//! "category|table|status|record count", what most tests check of an entry.
std::string Summary(const JobHistoryEntry& entry);
inline void PrintTo(const JobHistoryEntry& entry, std::ostream* out) {
    *out << Summary(entry);
}

//! Every entry of the job history at this path in the order written; empty when
//! the file or its table does not exist. Throws when the store cannot be read.
std::vector<JobHistoryEntry> ReadJobHistory(const std::string& path);

}  // namespace varnel::testing

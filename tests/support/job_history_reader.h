#pragma once

#include <optional>
#include <string>
#include <vector>

namespace varnel::testing {

//! One stored job-history entry, every value as text. Status is the number as
//! text ("3"); RecordCount is the shortest text that reads back as the stored
//! double ("2.5", "9876543210"); the dates are "YYYY-MM-DD HH:MM:SS" or unset for Null.
struct JobHistoryEntry {
    std::string EntryKind;
    std::string Application;
    std::string Category;
    std::string WrittenAt;
    std::string ServerName;
    std::string DatabaseName;
    std::string TableName;
    std::string UserName;
    std::string ArchiveServerName;
    std::string ArchiveDatabaseName;
    std::string ArchiveTableName;
    std::string ArchiveUserName;
    std::string Remark;
    std::string Status;
    std::string Message;
    std::string LogFile;
    std::optional<std::string> StartTime;
    std::optional<std::string> EndTime;
    std::string RecordCount;
    std::string CountUnit;
    std::string JobId;
};

//! Every entry of the job history at this path in the order written; empty when
//! the file or its table does not exist. Throws when the store cannot be read.
std::vector<JobHistoryEntry> ReadJobHistory(const std::string& path);

}  // namespace varnel::testing

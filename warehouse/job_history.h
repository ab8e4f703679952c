#pragma once

// The job history: one row per entry in a SQLite file of the user's own, written by
// every task that changes data and by the run driver when a run fails.

#include <memory>
#include <optional>
#include <string>

#include "warehouse/odbc.h"

namespace varnel {

//! Where the job history lives: $VARNEL_HISTORY when set and non-empty, else
//! $XDG_DATA_HOME/varnel/job_history.db, else $HOME/.local/share/varnel/job_history.db.
std::string JobHistoryPath();

//! The fields of one job-history entry and the operation that stores them. One object
//! serves one task run; its fields may be changed between writes, so it can leave
//! one entry per table.
class JobHistoryRecord {
  public:
    //! A record that writes to the store at this path (created on first use).
    explicit JobHistoryRecord(std::string storePath = JobHistoryPath());
    ~JobHistoryRecord();
    JobHistoryRecord(JobHistoryRecord&&) noexcept;
    JobHistoryRecord& operator=(JobHistoryRecord&&) noexcept;
    JobHistoryRecord(const JobHistoryRecord&) = delete;
    JobHistoryRecord& operator=(const JobHistoryRecord&) = delete;

    std::string ServerName;
    std::string DatabaseName;
    std::string TableName;
    std::string UserName;
    std::string ArchiveServerName;
    std::string ArchiveDatabaseName;
    std::string ArchiveTableName;
    std::string ArchiveUserName;
    std::string Remark;
    //! 0 when the step ended well, 3 when it failed.
    int Status = 0;
    std::string Message;
    std::string LogFile;
    //! Local date and time; unset is stored as Null.
    std::optional<Timestamp> StartTime;
    //! Local date and time; unset is stored as Null.
    std::optional<Timestamp> EndTime;
    double RecordCount = 0;
    std::string CountUnit;
    std::string JobId;

    //! The login name of the user who runs the process.
    std::string CurrentUser() const;
    //! The user a connection works as: CurrentUser under Windows authentication
    //! ("Integrated Security" is "SSPI"), otherwise its "User ID".
    std::string LoginOf(const Connection& connection) const;
    //! ServerName, DatabaseName and UserName from the warehouse connection.
    void DescribeWarehouse(const Connection& connection);

    //! Stores one entry from the current field values; throws std::runtime_error
    //! naming the store's path when the store cannot be created or written.
    void WriteEntry(int entryKind, const std::string& application,
                    const std::string& category = "");

    //! The path of the store this record writes to.
    const std::string& StorePath() const { return storePath_; }

  private:
    struct Store;
    void Open();

    std::string storePath_;
    //! The open store, kept from the first entry on; null until then.
    std::unique_ptr<Store> store_;
};

}  // namespace varnel

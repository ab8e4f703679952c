#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "run/log_stream.h"
#include "tasks/archiving/archive_engines.h"
#include "warehouse/odbc.h"

namespace varnel {

//! The moment of the current archiving run; every row it archives carries it.
inline Timestamp ArchiveDate;

//! The archiving task: moves the fact rows that meet each fact table's condition
//! into the archive database and writes the archiving section of the log.
bool ArchiveFactTables(std::unique_ptr<Connection>& warehouse, std::unique_ptr<Connection>& archive,
                       LogStream* log, const std::string& logPath, const std::string& jobId);

//! Sets the progress bar to 0 of the number of fact tables (1 of 1 when there are
//! none). On failure appends the description + CR LF to MessageText.
bool InitArchiveProgress(Connection& warehouse);

//! Empties the bar and the comment of the progress window and redraws it.
bool EndArchiveProgress();

//! Creates the fact table's copy in the archive database: the fact columns in
//! order, date_of_archiving and the key widened by it. On failure appends CR LF +
//! the description to MessageText.
bool CreateArchiveTable(Connection& warehouse, Connection& archive, const std::string& table);

//! Copies the rows that meet the condition from server to server, stamped with
//! ArchiveDate; sets the archived-row count. On SQLite the hold keeps the
//! warehouse's write lock for the delete. On failure appends CR LF + the
//! description to MessageText and leaves the count and the warehouse unchanged.
bool CopyFactRows(const std::string& table, const std::string& condition, Connection& warehouse,
                  Connection& archive, std::int64_t& archivedCount, ArchiveHold& hold);

//! Deletes the archived rows in a transaction that commits only when it deletes
//! exactly as many rows as were archived; otherwise nothing is deleted and the
//! task fails with a message naming the table and both counts. Runs in the hold's
//! transaction when there is one, else on a second warehouse connection.
bool DeleteArchivedRows(const std::string& table, const std::string& condition,
                        Connection& warehouse, std::int64_t archivedCount, ArchiveHold& hold);

//! Removes the linked server that the command added; never fails.
void DropArchiveLink(Command& linkCommand, Connection& warehouse);

}  // namespace varnel

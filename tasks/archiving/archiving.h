#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "run/process_state.h"
#include "run/task_context.h"
#include "tasks/archiving/archive_engines.h"
#include "warehouse/odbc.h"

namespace varnel {

//! The archiving task: moves the fact rows that meet each fact table's condition
//! from the WarehouseConnection into the ArchiveConnection, stamped with the
//! ArchiveDate it sets, and writes the archiving section of the log.
bool ArchiveFactTables(TaskContext& context);

//! Sets the progress bar to 0 of the number of fact tables (1 of 1 when there are
//! none). On failure appends the description + CR LF to MessageText.
bool InitArchiveProgress(TaskContext& context, Connection& warehouse);

//! Empties the bar and the comment of the progress window and redraws it.
bool EndArchiveProgress(TaskContext& context);

//! Creates the fact table's copy in the archive database: the fact columns in
//! order, date_of_archiving and the key widened by it. On failure appends CR LF +
//! the description to MessageText.
bool CreateArchiveTable(ProcessState& state, Connection& warehouse, Connection& archive,
                        const std::string& table);

//! Copies the rows that meet the condition from server to server, stamped with
//! ArchiveDate; sets the archived-row count. On SQLite the hold keeps the
//! warehouse's write lock for the delete. On failure appends CR LF + the
//! description to MessageText and leaves the count and the warehouse unchanged.
bool CopyFactRows(ProcessState& state, const std::string& table, const std::string& condition,
                  Connection& warehouse, Connection& archive, std::int64_t& archivedCount,
                  ArchiveHold& hold);

//! Deletes the archived rows in a transaction that commits only when it deletes
//! exactly as many rows as were archived; otherwise nothing is deleted and the
//! task fails with a message naming the table and both counts. Runs in the hold's
//! transaction when there is one, else on a second warehouse connection.
bool DeleteArchivedRows(ProcessState& state, const std::string& table, const std::string& condition,
                        Connection& warehouse, std::int64_t archivedCount, ArchiveHold& hold);

//! Removes the linked server that the command added; never fails.
void DropArchiveLink(Command& linkCommand, Connection& warehouse);

}  // namespace varnel

#pragma once

#include <string>

#include "run/process_state.h"
#include "run/task_context.h"
#include "warehouse/odbc.h"

namespace varnel {

//! The deletion task: deletes the marked rows of the selected dimension tables,
//! referring tables first, plainly (repairing slowly changing dimensions) or
//! atomically as the settings ask, on a DeletionConnection of its own that is open
//! only while it runs. Rows that referring rows use keep their mark no longer and
//! stay; their count per table goes to the log (when given) and to standard error.
bool DeleteMarkedElements(TaskContext& context);

//! In one transaction: keeps the marked rows that referring rows use, repairs a
//! slowly changing table, deletes the rest of its marked rows except those set to
//! keep; then leaves one job-history entry for the table. A slowly changing table
//! whose repair would leave an element with more defects than it had is left as it
//! was.
bool DeleteMarkedRows(TaskContext& context, const std::string& table, bool slowlyChanging,
                      Connection& connection);

//! How the deletion of one table ended.
enum class TableOutcome {
    Deleted,
    //! The history check refused the table: it was left as it was, and reported.
    Refused,
    //! An error ended it; it was rolled back and reported.
    Failed,
};

//! DeleteMarkedRows, telling a table refused by the history check of a slowly
//! changing table from one that failed.
TableOutcome DeleteTableRows(TaskContext& context, const std::string& table, bool slowlyChanging,
                             Connection& connection);

//! Deletes the elements of a slowly changing dimension whose versions are all
//! marked, after keeping the marked rows that referring rows use, in one
//! transaction, and leaves one job-history entry for the table.
bool DeleteAtomically(TaskContext& context, const std::string& table, Connection& connection);

//! Moves the validity dates of the neighbours of every marked version so that the
//! versions that survive the deletion still cover the whole history. Runs inside
//! the caller's transaction, before the marked rows are deleted; reads the element
//! key through the WarehouseConnection.
bool RepairSlowlyChangingDimension(ProcessState& state, const std::string& table,
                                   Connection& connection);

//! Sets the progress bar up for one step per selected dimension table.
bool InitDeleteProgress(TaskContext& context);
//! Empties the progress bar and the comment.
bool EndDeleteProgress(TaskContext& context);

}  // namespace varnel

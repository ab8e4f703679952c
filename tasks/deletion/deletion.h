#pragma once

#include <memory>
#include <string>

#include "warehouse/odbc.h"

namespace varnel {

class LogStream;

//! The deletion task's own connection to the warehouse, which alone carries its
//! transactions; open only while the task runs.
inline std::unique_ptr<Connection> DeletionConnection;

//! The deletion task: deletes the marked rows of the selected dimension tables,
//! referring tables first, plainly (repairing slowly changing dimensions) or
//! atomically. Rows that referring rows use keep their mark no longer and stay;
//! their count per table goes to the log (when given) and to standard error.
bool DeleteMarkedElements(bool atomic, const std::string& logPath, const std::string& jobId,
                          LogStream* log = nullptr);

//! In one transaction: keeps the marked rows that referring rows use, repairs a
//! slowly changing table, deletes the rest of its marked rows; then leaves one
//! job-history entry for the table.
bool DeleteMarkedRows(const std::string& table, bool slowlyChanging, Connection& connection);

//! Deletes the elements of a slowly changing dimension whose versions are all
//! marked, after keeping the marked rows that referring rows use, in one
//! transaction, and leaves one job-history entry for the table.
bool DeleteAtomically(const std::string& table, Connection& connection);

//! Moves the validity dates of the neighbours of every marked version so that the
//! versions that survive the deletion still cover the whole history. Runs inside
//! the caller's transaction, before the marked rows are deleted.
bool RepairSlowlyChangingDimension(const std::string& table, Connection& connection);

//! Sets the progress bar up for one step per selected dimension table.
bool InitDeleteProgress();
//! Empties the progress bar and the comment.
bool EndDeleteProgress();

}  // namespace varnel

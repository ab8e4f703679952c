#pragma once

#include <memory>
#include <string>

#include "warehouse/odbc.h"

namespace varnel {

//! The deletion task's own connection to the warehouse, which alone carries its
//! transactions; open only while the task runs.
inline std::unique_ptr<Connection> DeletionConnection;

//! The deletion task: deletes the marked rows of the selected dimension tables,
//! plainly (repairing slowly changing dimensions) or atomically.
bool DeleteMarkedElements(bool atomic, const std::string& logPath, const std::string& jobId);

//! Deletes every marked row of the table and leaves one job-history entry for it.
bool DeleteMarkedRows(const std::string& table, Connection& connection);

//! Deletes the elements of a slowly changing dimension whose versions are all
//! marked, in one transaction, and leaves one job-history entry for the table.
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

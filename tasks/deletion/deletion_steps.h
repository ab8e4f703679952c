#pragma once

// What the deletion task's steps share: the job-history record of the task's
// context, set up once per run of the task and written once per table, and the
// reading of the element key.

#include <cstdint>
#include <string>

#include "run/process_state.h"
#include "run/task_context.h"
#include "warehouse/job_history.h"

namespace varnel {

//! Writes one "Deleted dimensions" entry for the table named in the record: the
//! status, the message, the end time now, the count of rows deleted and the remark
//! of the mode. Throws when the store cannot be written.
void WriteDeletionEntry(TaskContext& context, int status, const std::string& message,
                        std::int64_t deleted, bool atomic);

//! Writes the entry of a failed table (status 3) and appends the error's description,
//! a line naming the table and CR LF to MessageText; a failure of the store itself is
//! appended as well.
void ReportDeletionFailure(TaskContext& context, const std::string& description,
                           std::int64_t deleted, bool atomic);

//! Writes the line on the marked rows of the table that were kept because rows
//! refer to them, to the task's log and to standard error, and the line on those
//! kept because the operator set them to keep, to the log only; nothing for a
//! count of none.
void ReportKeptRows(TaskContext& context, const std::string& table, std::int64_t kept,
                    std::int64_t keptToKeep);

//! The marked rows of the table that the operator set to keep (the deletion leaves them).
std::int64_t CountMarkedRowsToKeep(const std::string& table, Connection& connection);

//! The first element key that is not blank, as the query reads it through the
//! warehouse connection; empty when there is none. A table whose relations
//! disagree on slow_moving_dim has relations without one, and they do not count.
std::string FirstElementKey(Connection& warehouse, const std::string& query);

//! The run's warehouse connection; throws when there is none.
Connection& RunWarehouseConnection(ProcessState& state);

}  // namespace varnel

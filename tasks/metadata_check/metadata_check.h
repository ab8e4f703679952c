#pragma once

// The metadata check task: proves that dwm_star_relations and
// dwm_tables are present, filled and consistent with the warehouse before
// anything changes. It only reads. Every step traps its own errors: a fault, or a
// failed statement, ends the step with False after its description + CR LF has
// gone to MessageText; a cancel ends it with False and leaves nothing there.

#include <string>

#include "run/process_state.h"
#include "run/task_context.h"

namespace varnel {

class Connection;
class LogStream;
class ProgressWindow;

//! The task as the run driver calls it: the five steps on the WarehouseConnection
//! with the run's progress window and settings. True when the metadata passed.
bool RunMetadataCheck(TaskContext& context);
//! The five steps in order on the connection and window given; the first False ends it.
//! The settings tell whether fact tables must be indexed.
bool RunMetadataCheck(ProcessState& state, Connection& connection, ProgressWindow& window,
                      const RunSettings& settings);

//! Counts the relation rows R and the dimension and fact rows T and sets the bar
//! to 0 .. R + T + 1 at 0.
bool InitCheckProgress(ProcessState& state, Connection& connection, ProgressWindow& window);
//! Checks every row of dwm_star_relations against the warehouse; steps the bar once per row.
bool CheckRelationsTable(ProcessState& state, Connection& connection, ProgressWindow& window);
//! Checks every dimension and fact row of dwm_tables against the warehouse. The
//! main window calls it without a progress window (null): then it neither polls
//! for Cancel nor steps the bar, and does not ask whether fact tables are indexed.
//! With a window, fact tables must be indexed when the settings mark, report or delete.
bool CheckTablesTable(ProcessState& state, Connection& connection, ProgressWindow* window,
                      const RunSettings& settings = RunSettings{});
//! The control columns of one dimension table, and the version columns when the
//! first distinct flag of the relations naming it as primary table says it changes slowly.
bool CheckControlColumns(ProcessState& state, Connection& connection, const std::string& tableName);
//! Every table that dwm_star_relations names is listed in dwm_tables; steps the bar once.
bool CheckMetaConsistency(ProcessState& state, Connection& connection, ProgressWindow& window);
//! Writes to the log what the later tasks will keep, which is no fault: one line per
//! dimension table whose control columns hold Nulls, one per slowly changing table
//! whose versions do not follow the validity convention.
void WriteMetadataNotes(Connection& connection, LogStream& log);
//! Puts the bar back to 0 and clears the comment.
bool EndCheckProgress(ProgressWindow& window);

}  // namespace varnel

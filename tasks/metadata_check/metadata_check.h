#pragma once

// The metadata check task: proves that dwm_star_relations and
// dwm_tables are present, filled and consistent with the warehouse before
// anything changes. It only reads. Every step traps its own errors: a fault, or a
// failed statement, ends the step with False after its description + CR LF has
// gone to MessageText; a cancel ends it with False and leaves nothing there.

#include <string>

namespace varnel {

class Connection;
class ProgressWindow;

//! The task as the run driver calls it: the five steps on WarehouseConnection with
//! the run's progress window. True when the metadata passed.
bool RunMetadataCheck();
//! The five steps in order on the connection and window given; the first False ends it.
bool RunMetadataCheck(Connection& connection, ProgressWindow& window);

//! Counts the relation rows R and the dimension and fact rows T and sets the bar
//! to 0 .. R + T + 1 at 0.
bool InitCheckProgress(Connection& connection, ProgressWindow& window);
//! Checks every row of dwm_star_relations against the warehouse; steps the bar once per row.
bool CheckRelationsTable(Connection& connection, ProgressWindow& window);
//! Checks every dimension and fact row of dwm_tables against the warehouse. The
//! main window calls it without a progress window (null): then it neither polls
//! for Cancel nor steps the bar, and does not ask whether fact tables are indexed.
bool CheckTablesTable(Connection& connection, ProgressWindow* window);
//! The control columns of one dimension table, and the version columns when the
//! first distinct flag of the relations naming it as primary table says it changes slowly.
bool CheckControlColumns(Connection& connection, const std::string& tableName);
//! Every table that dwm_star_relations names is listed in dwm_tables; steps the bar once.
bool CheckMetaConsistency(Connection& connection, ProgressWindow& window);
//! Puts the bar back to 0 and clears the comment.
bool EndCheckProgress(ProgressWindow& window);

}  // namespace varnel

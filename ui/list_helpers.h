#pragma once

// Check-box lists filled from query results: the first column of a list query
// gives each row's check mark and is never shown, the check columns is_selected and
// is_sustainable get no list column, and every row remembers the record it shows,
// so that ticks are written back to that record whatever order the list is in.

#include <optional>
#include <string>
#include <vector>

#include "tasks/dimension_checks/dimension_checks.h"
#include "warehouse/editable_results.h"
#include "warehouse/odbc.h"

class QTreeWidget;
class QWidget;

namespace varnel {

class Prompter;

//! An empty list with a check box in front of every row.
QTreeWidget* MakeCheckList(QWidget* parent, const char* name);

//! One column per shown column of the result, captioned with its name, in order.
void FillListHeaders(const std::vector<ColumnInfo>& columns, QTreeWidget& list);

//! One row per record: the first shown value (trimmed) in the first column, the
//! others after it, ticked when the record's first value ticks it.
void FillListRows(const EditableResult& records, QTreeWidget& list);

//! Runs the query and fills the list's headers and, unless asked for headers only,
//! its rows. Returns the records behind the list; on failure shows what the
//! operator is told (a missing control column in the tool's words) and returns none.
std::optional<EditableResult> OpenIntoControl(QTreeWidget& list, Connection& connection,
                                              const std::string& query, bool headersOnly,
                                              Prompter& prompter);

//! Empties the list and fills it from query + " ORDER BY " + the sort columns.
std::optional<EditableResult> FillListSorted(QTreeWidget& list, Connection& connection,
                                             const std::string& query,
                                             const std::string& sortColumns, Prompter& prompter);

//! Writes the list's ticks into the records they show and stores the changed ones
//! in one transaction. Without records: "No Records to be saved."; an empty list
//! saves nothing and says nothing; a failure is shown and nothing is saved.
void SaveCheckedSelection(const QTreeWidget& list, Connection& warehouse, EditableResult* records,
                          Prompter& prompter);

//! Writes each listed table's tick into is_selected of its dimension rows; a failure
//! is shown. True when every table was written.
bool SaveCheckedSelection(const QTreeWidget& list, Connection& warehouse, Prompter& prompter);

//! Fills the one-column tables list, one row per table.
void FillTableList(const std::vector<DimensionTableItem>& tables, QTreeWidget& list);
//! The tables as listed, with their ticks.
std::vector<DimensionTableItem> ListedTables(const QTreeWidget& list);

//! Ticks or unticks every row of the list.
void CheckAllItems(QTreeWidget& list);
void UncheckAllItems(QTreeWidget& list);

//! The text of each row's first column, in list order, and its tick.
std::vector<std::string> ListTexts(const QTreeWidget& list);
std::vector<bool> ListTicks(const QTreeWidget& list);

}  // namespace varnel

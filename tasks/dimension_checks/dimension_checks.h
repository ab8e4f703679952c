#pragma once

// The data work behind the dimension checks dialog: the list of dimension tables
// with their selection, and the records of one table with the ticks that keep
// them (is_sustainable). The dialog shows and edits these; the functions return
// their failure text through the message-text argument.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "warehouse/editable_results.h"
#include "warehouse/odbc.h"

namespace varnel {

class SqlDialect;

//! One dimension table of the tables list.
struct DimensionTableItem {
    std::string Name;
    bool Selected = false;

    bool operator==(const DimensionTableItem&) const = default;
};

//! One row per dimension table name of dwm_tables, ordered by name, its mark the
//! greatest is_selected of its rows.
std::string DimensionTableListQuery(const SqlDialect& dialect);

//! True when a check column's value ticks its row: any non-zero number (or True).
bool IsTicked(const std::optional<std::string>& value);

//! The dimension tables that exist in the warehouse, each listed once, ticked when
//! any of its rows is selected. On failure the message text says why.
bool LoadDimensionTables(Connection& warehouse, std::vector<DimensionTableItem>& tables,
                         std::string& messageText);

//! Writes each listed table's tick (1 or 0) into is_selected of all its DIMENSION
//! rows, one statement per table in list order. On failure the message text
//! receives the description; the tables before stay written.
bool SaveDimensionTableSelection(Connection& warehouse,
                                 const std::vector<DimensionTableItem>& tables,
                                 std::string& messageText);

//! Runs a records query (its first column is_sustainable) and keeps its rows with
//! their identities. On failure the records are unset and the message text holds
//! what the operator is shown (a missing control column in the tool's words).
bool RunRecordsQuery(Connection& warehouse, const std::string& statement,
                     std::optional<EditableResult>& records, std::string& messageText);

//! Ticks or unticks a record; ticking it back as it was read undoes the change.
void SetRecordTick(EditableResult& records, std::size_t row, bool ticked);

//! True when the record is ticked now.
bool IsRecordTicked(const EditableResult& records, std::size_t row);

//! Writes the records whose tick changed (1 or 0 into is_sustainable) in one
//! transaction; records left as read are not touched. Without records (no query
//! has run) the message text is "No Records to be saved.". On failure nothing is
//! saved and the message text says why.
bool SaveRecordSelection(Connection& warehouse, EditableResult* records, std::string& messageText);

}  // namespace varnel

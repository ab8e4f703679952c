#pragma once

// The rules by which query results fill the check-box lists of the dialogs: the
// first column of a list query gives each row's check mark, and the check
// columns is_selected and is_sustainable never get a list column of their own.

#include <cstddef>
#include <string>
#include <vector>

#include "warehouse/odbc.h"

namespace varnel {

class SqlDialect;

//! True for the names of the check columns, is_selected and is_sustainable.
bool IsCheckColumn(const std::string& name);

//! The positions of the result's columns that a list shows, in order: every column
//! but the first (the check mark) and the check columns.
std::vector<std::size_t> ShownColumns(const std::vector<ColumnInfo>& columns);

//! The captions of the shown columns.
std::vector<std::string> ListHeaders(const std::vector<ColumnInfo>& columns);

//! The names of a table's columns in the order the catalog keeps them. Throws when
//! the catalog cannot be read.
std::vector<std::string> TableColumnNames(Connection& connection, const std::string& table);

//! The captions of a records list before any query has run: the table's columns
//! without the check columns.
std::vector<std::string> TableListHeaders(Connection& connection, const std::string& table);

//! What the operator is shown for a list query that failed: "Column 'is_sustainable'
//! does not exist." or "Column 'is_deletable' does not exist." when the engine says
//! that control column is missing, otherwise the error's description itself.
std::string ListQueryErrorMessage(const SqlDialect& dialect, const std::string& description);

}  // namespace varnel

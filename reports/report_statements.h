#pragma once

// The statements of the report task, built apart from sending them. Both engines
// run the same texts.

#include <string>
#include <vector>

namespace varnel {

//! The number of dimension rows of dwm_tables.
std::string DimensionCountStatement();
//! The number of selected dimension rows and fact rows of dwm_tables.
std::string ReportedTableCountStatement();
//! The dimension table names of dwm_tables.
std::string DimensionTableListStatement();
//! The number of rows of a table marked unused.
std::string CountUnusedRecordsStatement(const std::string& table);
//! The original key column list (org_pkey) of a table.
std::string KeyColumnsStatement(const std::string& table);
//! The key values of a table's marked rows, sorted by them.
std::string MarkedRecordsStatement(const std::string& table, const std::vector<std::string>& keys);
//! Each fact table with its archiving condition.
std::string FactFiltersStatement();
//! The dimension tables selected for checking.
std::string SelectedDimensionsStatement();

}  // namespace varnel

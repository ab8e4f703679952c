#pragma once

// The pieces of the three page bodies. Each piece is one write: the writer adds
// CR LF after it. Values from the warehouse are escaped here; the fixed markup
// stays as operators know it (the unclosed TBODY, the stray </FONT>, the header
// words split by a line break).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnel {

//! The summary page's table and its header row.
std::string SummaryTableHeader();
//! One dimension table with its number of marked rows.
std::string SummaryRow(const std::string& table, std::int32_t count);

//! The detailed page's table and its header row.
std::string DetailedTableHeader();
//! A table's name and its key column names.
std::string DetailedKeyPiece(const std::string& table, const std::vector<std::string>& keys);
//! Opens the row that the first marked row continues; the blank cell spans the count.
std::string DetailedSpanPiece(std::int32_t count);
//! One marked row's key values (Null as an empty cell); every row but the first
//! opens its own row.
std::string DetailedRowPiece(const std::vector<std::optional<std::string>>& values, bool first);

//! The table filter page's first table and its header row.
std::string FactTableHeader();
//! A fact table with its archiving condition.
std::string FactRow(const std::string& table, const std::string& condition);
//! Closes the fact table and opens the table of selected dimensions.
std::string SelectedDimensionsHeader();
//! A selected dimension table.
std::string SelectedDimensionRow(const std::string& table);

}  // namespace varnel

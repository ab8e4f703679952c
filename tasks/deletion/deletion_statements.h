#pragma once

// The statements of the deletion task, built apart from sending them so that each
// engine's text can be checked exactly, and the typing of the values they are given.

#include <optional>
#include <string>
#include <vector>

#include "warehouse/column_values.h"
#include "warehouse/odbc.h"
#include "warehouse/sql_dialect.h"

namespace varnel {

//! Which key columns hold Null in one element, in key-column order; empty or
//! shorter than the key means the remaining parts hold values.
using NullKeyParts = std::vector<bool>;

//! Counts the selected dimension tables, the length of the progress bar.
std::string SelectedDimensionCountQuery();

//! The tables to delete from: one row per selected dimension table that is the
//! primary table of a relation, with slow_moving_dim 1 when any of its relations
//! says it is slowly changing.
std::string DeletionTableListQuery(const SqlDialect& dialect);

//! The rows a deletion removes: marked, and not set to keep by the operator.
std::string DeletedRowsCondition();

//! "DELETE FROM " + the table + " WHERE " + DeletedRowsCondition().
std::string DeleteMarkedRowsStatement(const std::string& table);

//! Counts the marked rows of the table that the operator set to keep.
std::string MarkedRowsToKeepQuery(const std::string& table);

//! The element key of a table as atomic deletion reads it (every relation's value).
std::string AtomicElementKeyQuery(const std::string& table);
//! The element key of a table as the repair reads it (each value once).
std::string RepairElementKeyQuery(const std::string& table);

//! The key columns of an element key: the list split at commas, each piece
//! trimmed, in list order. Throws when a column is named twice or the list is blank.
std::vector<std::string> KeyColumns(const std::string& elementKey, const std::string& table);

//! One row per element: its key values, CntAll (versions) and CntDeletable (marked
//! versions). The element key goes in exactly as stored.
std::string ElementGroupQuery(const std::string& table, const std::string& elementKey);

//! Deletes every version of one element; a ? per key part that holds a value,
//! IS NULL for a part that holds Null.
std::string DeleteElementStatement(const std::string& table,
                                   const std::vector<std::string>& keyColumns,
                                   const NullKeyParts& nullParts);

//! Every version of each element that has a marked one, in the order of the repair:
//! element, start_date, identity. Columns: the identity's, the element's number,
//! start_date, end_date, the day of each, is_current, whether the version is marked;
//! more may follow. The engine groups the versions by the element key as stored,
//! with its own equality (Null parts are equal), and computes the days.
std::string ElementVersionsQuery(const SqlDialect& dialect, const std::string& table,
                                 const std::string& elementKey,
                                 const std::vector<std::string>& identityColumns);

//! The same versions, found by window functions over the whole table: the form for
//! an identity that is no single row id.
std::string WindowedElementVersionsQuery(const SqlDialect& dialect, const std::string& table,
                                         const std::string& elementKey,
                                         const std::vector<std::string>& identityColumns);

//! Writes what the repair changed in one version, found by its identity. Markers:
//! start_date when setStart, end_date when setEnd, then a ? per identity column;
//! setCurrent writes is_current = 1.
std::string RepairedVersionStatement(const std::string& table,
                                     const std::vector<std::string>& identityColumns, bool setStart,
                                     bool setEnd, bool setCurrent);

//! Writes what the repair changed in several versions at once, each found by its
//! row id: one row of values per version, in this order: start_date when setStart,
//! end_date when setEnd, the row id.
std::string RepairedVersionsBatchStatement(const std::string& table, const std::string& rowId,
                                           bool setStart, bool setEnd, bool setCurrent,
                                           std::size_t versions);

}  // namespace varnel

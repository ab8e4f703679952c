#pragma once

// The statements of the detect-and-mark task, built apart from sending them.
// Table names go in as they stand; text values through SqlLiteral.

#include <string>
#include <vector>

#include "warehouse/sql_dialect.h"

namespace varnel::sql {

//! Selected dimension tables that are the referenced table of some relation.
std::string SelectTablesToReset();
std::string ResetDeletableFlags(const std::string& table);
//! Fact tables that refer to at least one dimension table: the queue's start.
std::string SelectFactTablesToQueue();
std::string SelectUnselectedDimensions();
std::string SelectSelfReferencingTables();
std::string SelectFactTableRow(const std::string& table);
//! The relations that marking will work through, for the progress bar.
std::string CountRelationsToMark();
std::string SelectSelfReference(const std::string& table);
std::string SelectRelationsOf(const std::string& table);
//! Marks every row that the operator has not chosen to keep.
std::string MarkAllCandidates(const std::string& table);

//! Clears the mark of the rows of a table that a referring table uses through
//! the paired columns; the referrer counts only through its own unmarked rows
//! when asked. Throws when the referring side has fewer columns than the referenced.
std::string ClearUsedRows(const SqlDialect& dialect, const std::string& table,
                          const std::string& referrer, const std::string& primaryColumns,
                          const std::string& foreignColumns, bool onlyUnmarkedReferrerRows);

//! Tables the table refers to that are not processed yet and are fact or selected tables.
std::string SelectReadyCandidates(const std::string& table, const std::string& processedList);
//! How many tables that refer to the table given as parameter are not processed yet.
std::string CountUnprocessedReferrers(const std::string& processedList);

}  // namespace varnel::sql

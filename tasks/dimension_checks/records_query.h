#pragma once

// The statements of the dimension checks dialog's records list: the join test,
// the rebuild of the typed query with is_sustainable as its first column, and the
// sorted form of a query that has run. Plain functions of their texts.

#include <optional>
#include <string>

namespace varnel {

//! The query a chosen table starts with: "Select * from " + the table.
std::string TableRecordsQuery(const std::string& table);

//! True when the part of the query from the first "from" up to its first "where"
//! (else "group by", "having", "order by") holds a comma. Letter case is ignored,
//! and the words are found inside longer words too.
bool IsJoinQuery(const std::string& query);

//! The typed query with its blanks made single, its first word replaced by
//! "Select ", DISTINCT or ALL and TOP n [PERCENT] [WITH TIES] kept in place and
//! " is_sustainable, " put ahead of the select list. nullopt, with the reason in
//! the message text, when the words run out after TOP, its value, PERCENT, WITH
//! or WITH TIES.
std::optional<std::string> RebuildRecordsQuery(const std::string& typed, std::string& messageText);

//! The records query sorted by one column: query + " ORDER BY " + column.
std::string SortedRecordsQuery(const std::string& recordsQuery, const std::string& column);

}  // namespace varnel

#include "tasks/deletion/deletion_statements.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "base/text.h"
#include "run/run_settings.h"
#include "warehouse/sql_dialect.h"
#include "warehouse/sql_literal.h"

namespace varnel {

namespace {

bool IsNullPart(const NullKeyParts& nullParts, std::size_t index) {
    return index < nullParts.size() && nullParts[index];
}

std::string JoinColumns(const std::vector<std::string>& columns) {
    std::string joined;
    for (const auto& column : columns) {
        if (!joined.empty()) joined += ", ";
        joined += column;
    }
    return joined;
}

std::string IdentityConditions(const std::vector<std::string>& identityColumns) {
    std::string conditions;
    for (const auto& column : identityColumns) {
        if (!conditions.empty()) conditions += " AND ";
        conditions += column + " = ?";
    }
    return conditions;
}

}  // namespace

std::string SelectedDimensionCountQuery() {
    return "SELECT COUNT(*) FROM dwm_tables WHERE UPPER(table_type)='DIMENSION' AND is_selected = "
           "1";
}

// A table whose relations disagree on slow_moving_dim comes back once, as slowly
// changing: handled twice, its plain deletion could remove versions before the
// repair ran and leave gaps in the history.
std::string DeletionTableListQuery(const SqlDialect& dialect) {
    return "SELECT table_name,MAX(" + dialect.IntOfBit("slow_moving_dim") +
           ") AS slow_moving_dim FROM dwm_tables,dwm_star_relations WHERE UPPER(table_type) = "
           "'DIMENSION' AND dwm_star_relations.primary_table = dwm_tables.table_name AND "
           "dwm_tables.is_selected = 1 GROUP BY table_name";
}

std::string DeletedRowsCondition() {
    return "is_deletable = 1 AND is_sustainable = 0";
}

std::string DeleteMarkedRowsStatement(const std::string& table) {
    return "DELETE FROM " + table + " WHERE " + DeletedRowsCondition();
}

std::string MarkedRowsToKeepQuery(const std::string& table) {
    return "SELECT COUNT(*) FROM " + table + " WHERE is_deletable = 1 AND is_sustainable <> 0";
}

std::string AtomicElementKeyQuery(const std::string& table) {
    return "SELECT original_primary_key FROM dwm_star_relations WHERE primary_table = " +
           SqlLiteral(table);
}

std::string RepairElementKeyQuery(const std::string& table) {
    return "SELECT DISTINCT original_primary_key FROM dwm_star_relations WHERE primary_table = " +
           SqlLiteral(table);
}

std::vector<std::string> KeyColumns(const std::string& elementKey, const std::string& table) {
    if (IsBlank(elementKey))
        throw std::runtime_error("The slowly changing dimension table " + table +
                                 " has no original_primary_key in dwm_star_relations.");
    std::vector<std::string> columns;
    for (auto& column : SplitCommaList(elementKey, ListPieces::Trimmed)) {
        for (const auto& known : columns) {
            // Names compare as the collection of key columns compares its keys.
            if (EqualsIgnoringCase(known, column))
                throw std::runtime_error("The column " + column +
                                         " is named twice in the original_primary_key of " + table +
                                         ".");
        }
        columns.push_back(std::move(column));
    }
    return columns;
}

std::string ElementGroupQuery(const std::string& table, const std::string& elementKey) {
    return "SELECT " + elementKey + ", Count(*) As CntAll, Count( Case When " +
           DeletedRowsCondition() + " Then 1 End ) As CntDeletable" + " FROM " + table +
           " GROUP BY " + elementKey;
}

std::string DeleteElementStatement(const std::string& table,
                                   const std::vector<std::string>& keyColumns,
                                   const NullKeyParts& nullParts) {
    std::string statement = "DELETE FROM " + table + " WHERE ";
    for (std::size_t i = 0; i < keyColumns.size(); ++i) {
        if (i > 0) statement += " AND ";
        statement += keyColumns[i] + (IsNullPart(nullParts, i) ? " IS NULL" : " = ?");
    }
    return statement;
}

std::string WindowedElementVersionsQuery(const SqlDialect& dialect, const std::string& table,
                                         const std::string& elementKey,
                                         const std::vector<std::string>& identityColumns) {
    const std::string marked = "CASE WHEN " + DeletedRowsCondition() + " THEN 1 ELSE 0 END";
    // Every column gets a name of its own: the identity may include start_date.
    std::string identity, order;
    for (std::size_t i = 0; i < identityColumns.size(); ++i) {
        const std::string name = "repair_id" + std::to_string(i + 1);
        identity += identityColumns[i] + " AS " + name + ", ";
        order += ", " + name;
    }
    return "SELECT * FROM (SELECT " + identity + "DENSE_RANK() OVER (ORDER BY " + elementKey +
           ") AS repair_element, start_date AS repair_start, end_date AS repair_end, " +
           dialect.DayOf("start_date") + " AS repair_start_day, " + dialect.DayOf("end_date") +
           " AS repair_end_day, is_current AS repair_current, " + marked +
           " AS repair_marked, MAX(" + marked + ") OVER (PARTITION BY " + elementKey +
           ") AS repair_element_marked FROM " + table +
           ") versions WHERE repair_element_marked = 1 ORDER BY repair_element, repair_start" +
           order;
}

// NOTE: SQLite's window functions copy every row they see into a temporary table
// and sort it, which over a whole table of 60k versions cost more than the rest of
// the deletion together. Where the single identity column is a row id, the window
// numbers only the versions of elements with a marked one, found by IN (a list the
// engine builds once, whatever the indexes), and sees only row id and key; the
// versions' columns are then read by row id. "IN" misses keys with a Null part, so
// every such version is taken as well: an element without a mark among them comes
// back but changes nothing. IN, the window and the grouping of the window form
// compare keys alike (the columns' own collation and affinity), and the versions
// come in the same order as from the window form.
std::string ElementVersionsQuery(const SqlDialect& dialect, const std::string& table,
                                 const std::string& elementKey,
                                 const std::vector<std::string>& identityColumns) {
    if (identityColumns.size() != 1 || !dialect.RowIdColumns())
        return WindowedElementVersionsQuery(dialect, table, elementKey, identityColumns);
    const std::string& id = identityColumns.front();
    const auto keys = SplitCommaList(elementKey, ListPieces::Trimmed);
    const std::string keyList = keys.size() == 1 ? keys.front() : "(" + JoinColumns(keys) + ")";
    std::string nullParts;
    for (const auto& key : keys) nullParts += " OR " + key + " IS NULL";
    return "SELECT versions." + id +
           " AS repair_id1, elements.repair_element, versions.start_date AS repair_start, "
           "versions.end_date AS repair_end, " +
           dialect.DayOf("versions.start_date") + " AS repair_start_day, " +
           dialect.DayOf("versions.end_date") +
           " AS repair_end_day, versions.is_current AS repair_current, CASE WHEN "
           "versions.is_deletable = 1 AND versions.is_sustainable = 0 THEN 1 ELSE 0 END AS "
           "repair_marked FROM (SELECT " +
           id + " AS repair_row, DENSE_RANK() OVER (ORDER BY " + elementKey +
           ") AS repair_element FROM " + table + " WHERE " + keyList + " IN (SELECT " +
           JoinColumns(keys) + " FROM " + table + " WHERE " + DeletedRowsCondition() + ")" +
           nullParts + ") elements JOIN " + table + " versions ON versions." + id +
           " = elements.repair_row ORDER BY elements.repair_element, repair_start, repair_id1";
}

std::string RepairedVersionStatement(const std::string& table,
                                     const std::vector<std::string>& identityColumns, bool setStart,
                                     bool setEnd, bool setCurrent) {
    std::vector<std::string> assignments;
    if (setStart) assignments.push_back("start_date = ?");
    if (setEnd) assignments.push_back("end_date = ?");
    if (setCurrent) assignments.push_back("is_current = 1");
    return "UPDATE " + table + " SET " + JoinColumns(assignments) + " WHERE " +
           IdentityConditions(identityColumns);
}

// The rows of values are a VALUES list joined by UPDATE ... FROM: one statement
// carries many versions, where each single-row UPDATE would cost a round of the
// driver's calls of its own.
std::string RepairedVersionsBatchStatement(const std::string& table, const std::string& rowId,
                                           bool setStart, bool setEnd, bool setCurrent,
                                           std::size_t versions) {
    std::vector<std::string> assignments;
    std::size_t column = 0;
    if (setStart)
        assignments.push_back("start_date = repair_rows.column" + std::to_string(++column));
    if (setEnd) assignments.push_back("end_date = repair_rows.column" + std::to_string(++column));
    if (setCurrent) assignments.push_back("is_current = 1");
    ++column;
    std::string row = "(";
    for (std::size_t i = 0; i < column; ++i) row += i > 0 ? ", ?" : "?";
    row += ")";
    std::string rows;
    for (std::size_t i = 0; i < versions; ++i) rows += (i > 0 ? ", " : "") + row;
    return "UPDATE " + table + " SET " + JoinColumns(assignments) + " FROM (VALUES " + rows +
           ") AS repair_rows WHERE " + table + "." + rowId + " = repair_rows.column" +
           std::to_string(column);
}

}  // namespace varnel

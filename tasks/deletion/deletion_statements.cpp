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

std::string DeleteMarkedRowsStatement(const std::string& table) {
    return "DELETE FROM " + table + " WHERE is_deletable = 1";
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
    return "SELECT " + elementKey +
           ", Count(*) As CntAll, Count( Case is_deletable When 1 then 1 End ) As CntDeletable" +
           " FROM " + table + " GROUP BY " + elementKey;
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
    const std::string marked = "CASE WHEN is_deletable = 1 THEN 1 ELSE 0 END";
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

// NOTE: SQLite's window functions copy every row of the table into a temporary
// table and sort it twice, which at 60k versions cost more than the rest of the
// deletion together. Where the single identity column is a row id, elements are
// found instead by grouping the marked rows by the key and joining the table to
// the groups with "=" (an index on the key or an automatic one serves); an element
// is numbered by the lowest row id among its marked versions. "=" misses Null key
// parts, so the versions whose key holds a Null are found as before, by window, in
// the second part: few rows, if any. Grouping, joining and partitioning compare
// keys alike (the columns' own collation and affinity), and the versions come in
// the same order as from the window form: by key, start_date, identity.
std::string ElementVersionsQuery(const SqlDialect& dialect, const std::string& table,
                                 const std::string& elementKey,
                                 const std::vector<std::string>& identityColumns) {
    if (identityColumns.size() != 1 || !dialect.RowIdColumns())
        return WindowedElementVersionsQuery(dialect, table, elementKey, identityColumns);
    const std::string& id = identityColumns.front();
    const std::string marked = "CASE WHEN is_deletable = 1 THEN 1 ELSE 0 END";
    const auto keys = SplitCommaList(elementKey, ListPieces::Trimmed);
    std::string groupKeys, joinKeys, rowKeys, windowKeys, nullPart, keyOrder;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string name = "repair_key" + std::to_string(i + 1);
        groupKeys += keys[i] + " AS " + name + ", ";
        joinKeys += (i > 0 ? " AND " : "") + ("versions." + keys[i]) + " = marked." + name;
        rowKeys += ", versions." + keys[i] + " AS " + name;
        windowKeys += ", " + keys[i] + " AS " + name;
        nullPart += (i > 0 ? " OR " : "") + keys[i] + " IS NULL";
        keyOrder += name + ", ";
    }
    const std::string dates = " AS repair_start_day, ";
    const std::string joined =
        "SELECT versions." + id +
        " AS repair_id1, marked.repair_element, versions.start_date AS "
        "repair_start, versions.end_date AS repair_end, " +
        dialect.DayOf("versions.start_date") + dates + dialect.DayOf("versions.end_date") +
        " AS repair_end_day, versions.is_current AS repair_current, CASE WHEN "
        "versions.is_deletable = 1 THEN 1 ELSE 0 END AS repair_marked" +
        rowKeys + " FROM (SELECT " + groupKeys + "MIN(" + id + ") AS repair_element FROM " + table +
        " WHERE is_deletable = 1 GROUP BY " + elementKey + ") marked JOIN " + table +
        " versions ON " + joinKeys;
    std::string windowColumns;
    for (std::size_t i = 0; i < keys.size(); ++i)
        windowColumns += ", repair_key" + std::to_string(i + 1);
    const std::string windowed =
        "SELECT repair_id1, repair_element, repair_start, repair_end, repair_start_day, "
        "repair_end_day, repair_current, repair_marked" +
        windowColumns + " FROM (SELECT " + id + " AS repair_id1, MIN(" + id +
        ") OVER (PARTITION BY " + elementKey +
        ") AS repair_element, start_date AS repair_start, "
        "end_date AS repair_end, " +
        dialect.DayOf("start_date") + dates + dialect.DayOf("end_date") +
        " AS repair_end_day, is_current AS repair_current, " + marked + " AS repair_marked" +
        windowKeys + ", MAX(" + marked + ") OVER (PARTITION BY " + elementKey +
        ") AS repair_element_marked FROM " + table + " WHERE " + nullPart +
        ") WHERE repair_element_marked = 1";
    return joined + " UNION ALL " + windowed + " ORDER BY " + keyOrder + "repair_start, repair_id1";
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

}  // namespace varnel

#include "tasks/marking/marking_statements.h"

#include <stdexcept>

#include "base/text.h"
#include "warehouse/sql_literal.h"

namespace varnel::sql {

std::string SelectTablesToReset() {
    return "SELECT DISTINCT table_name FROM dwm_tables,dwm_star_relations WHERE UPPER(table_type) "
           "= 'DIMENSION' AND dwm_star_relations.primary_table = dwm_tables.table_name AND "
           "is_selected = 1";
}

std::string ResetDeletableFlags(const std::string& table) {
    return "UPDATE " + table + " SET is_deletable = 0";
}

std::string SelectFactTablesToQueue() {
    return "SELECT DISTINCT foreign_table FROM dwm_star_relations WHERE primary_table IN (SELECT "
           "table_name  FROM dwm_tables WHERE Upper(table_type) = 'DIMENSION')  AND foreign_table "
           "IN (SELECT table_name FROM  dwm_tables WHERE Upper(table_type) = 'FACT')";
}

std::string SelectUnselectedDimensions() {
    return "SELECT table_name FROM dwm_tables WHERE UPPER(table_type) = 'DIMENSION' AND "
           "is_selected=0";
}

std::string SelectSelfReferencingTables() {
    return "SELECT DISTINCT primary_table FROM dwm_star_relations WHERE "
           "primary_table=foreign_table";
}

std::string SelectFactTableRow(const std::string& table) {
    return "SELECT * FROM dwm_tables WHERE table_name = " + SqlLiteral(table) +
           " AND Upper(table_type) = 'FACT'";
}

std::string CountRelationsToMark() {
    return "SELECT Count(*) FROM dwm_star_relations WHERE primary_table NOT IN (Select table_name "
           "from dwm_tables WHERE Upper(table_type) = 'FACT' OR is_selected = 0)  AND "
           "primary_table NOT IN (Select primary_table from dwm_star_relations Where "
           "primary_table = foreign_table)";
}

std::string SelectSelfReference(const std::string& table) {
    return "SELECT * FROM dwm_star_relations WHERE primary_table=" + SqlLiteral(table) +
           " AND foreign_table = " + SqlLiteral(table);
}

std::string SelectRelationsOf(const std::string& table) {
    return "SELECT * FROM dwm_star_relations WHERE primary_table=" + SqlLiteral(table);
}

std::string MarkAllCandidates(const std::string& table) {
    return "UPDATE " + table + " SET is_deletable = 1 WHERE is_sustainable = 0";
}

std::string ClearUsedRows(const SqlDialect& dialect, const std::string& table,
                          const std::string& referrer, const std::string& primaryColumns,
                          const std::string& foreignColumns, bool onlyUnmarkedReferrerRows) {
    const auto primary = SplitCommaList(primaryColumns);
    const auto foreign = SplitCommaList(foreignColumns);
    if (foreign.size() < primary.size())
        throw std::out_of_range("Subscript out of range: the relation of " + table + " and " +
                                referrer + " lists fewer referring than referenced columns.");
    std::string pairs;
    for (std::size_t i = 0; i < primary.size(); ++i) {
        if (i > 0) pairs += " AND \r\n";
        pairs += table + "." + primary[i] + " = " + referrer + "." + foreign[i] + "\r\n";
    }
    const std::string referrerCondition =
        onlyUnmarkedReferrerRows ? " AND " + referrer + ".is_deletable=0" : "";
    return dialect.JoinedUpdate(table, "is_deletable = 0", referrer,
                                "\r\n" + pairs + referrerCondition);
}

std::string SelectReadyCandidates(const std::string& table, const std::string& processedList) {
    return "SELECT DISTINCT primary_table FROM dwm_star_relations, dwm_tables  WHERE "
           "foreign_table = " +
           SqlLiteral(table) + " AND dwm_star_relations.primary_table NOT IN (" + processedList +
           ")  AND dwm_star_relations.primary_table=dwm_tables.table_name  AND ( "
           "Upper(dwm_tables.table_type) = 'FACT' OR dwm_tables.is_selected = 1 )";
}

std::string CountUnprocessedReferrers(const std::string& processedList) {
    return "SELECT COUNT(*) AS cntNonProcessedTable FROM dwm_star_relations, dwm_tables  WHERE "
           "dwm_star_relations.primary_table = ?  AND "
           "dwm_star_relations.primary_table=dwm_tables.table_name  AND "
           "dwm_star_relations.foreign_table NOT IN (" +
           processedList + ")";
}

}  // namespace varnel::sql

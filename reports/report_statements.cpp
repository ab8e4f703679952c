#include "reports/report_statements.h"

#include "warehouse/sql_literal.h"

namespace varnel {

std::string DimensionCountStatement() {
    return "Select COUNT(*) from dwm_tables where Upper(table_type) = 'DIMENSION'";
}

std::string ReportedTableCountStatement() {
    return "Select COUNT(*) from dwm_tables where (Upper(table_type) = 'DIMENSION' AND "
           "is_selected = 1) OR UPPER(table_type)='FACT'";
}

std::string DimensionTableListStatement() {
    return "Select distinct table_name from dwm_tables where Upper(table_type) = 'DIMENSION'";
}

std::string CountUnusedRecordsStatement(const std::string& table) {
    return "Select Count(*) As CntUnusedRecords from " + table + " where is_deletable=1";
}

std::string KeyColumnsStatement(const std::string& table) {
    return std::string("SELECT DISTINCT org_pkey ") + "FROM dwm_tables " +
           "WHERE table_name = " + SqlLiteral(table);
}

std::string MarkedRecordsStatement(const std::string& table, const std::vector<std::string>& keys) {
    std::string keyList;
    for (const auto& key : keys) {
        if (!keyList.empty()) keyList += ",";
        keyList += key;
    }
    return "SELECT " + keyList + " FROM " + table + " WHERE is_deletable=1 ORDER BY " + keyList;
}

std::string FactFiltersStatement() {
    return std::string("SELECT DISTINCT table_name, max(where_clause) ") + "FROM dwm_tables " +
           "WHERE UPPER(table_type)='FACT' " + "GROUP BY table_name";
}

std::string SelectedDimensionsStatement() {
    return std::string("SELECT DISTINCT table_name ") + "FROM dwm_tables " +
           "WHERE UPPER(table_type)='DIMENSION' AND is_selected = 1";
}

}  // namespace varnel

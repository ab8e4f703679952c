#include "tasks/metadata_check/metadata_check_statements.h"

#include "warehouse/sql_literal.h"

namespace varnel::sql {

std::string CountRelations() {
    return "SELECT COUNT(*) FROM dwm_star_relations";
}

std::string CountCheckedTables() {
    return "SELECT COUNT(*) FROM dwm_tables WHERE UPPER(table_type) = 'DIMENSION' OR "
           "UPPER(table_type) = 'FACT'";
}

std::string SelectRelations() {
    return "Select selected,foreign_table,foreign_columns, primary_table,primary_columns,"
           "slow_moving_dim, original_primary_key FROM dwm_star_relations";
}

std::string SelectCheckedTables() {
    return "SELECT table_name,Upper(table_type),where_clause,is_selected FROM dwm_tables WHERE "
           "UPPER(table_type) = 'DIMENSION' OR UPPER(table_type) = 'FACT'";
}

std::string SelectSlowMovingDim(const std::string& tableName) {
    return "SELECT DISTINCT slow_moving_dim FROM dwm_star_relations WHERE primary_table = " +
           SqlLiteral(tableName);
}

std::string SelectTablesMissingFromDwmTables() {
    return "SELECT * FROM (SELECT primary_table AS TableName FROM dwm_star_relations UNION "
           "SELECT foreign_table AS TableName FROM dwm_star_relations) AS TempTable WHERE NOT "
           "EXISTS (SELECT table_name FROM dwm_tables WHERE TempTable.TableName = "
           "dwm_tables.table_name)";
}

}  // namespace varnel::sql

#include "tasks/metadata_check/metadata_check_statements.h"

#include "warehouse/sql_dialect.h"
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

std::string SelectDimensionTables() {
    return "SELECT DISTINCT table_name FROM dwm_tables WHERE UPPER(table_type) = 'DIMENSION' "
           "ORDER BY table_name";
}

std::string SelectSlowlyChangingTables(const SqlDialect& dialect) {
    return "SELECT DISTINCT table_name FROM dwm_tables, dwm_star_relations WHERE "
           "UPPER(table_type) = 'DIMENSION' AND dwm_star_relations.primary_table = "
           "dwm_tables.table_name AND " +
           dialect.IntOfBit("slow_moving_dim") + " <> 0 ORDER BY table_name";
}

std::string SelectElementKeys(const SqlDialect& dialect, const std::string& tableName) {
    return "SELECT original_primary_key FROM dwm_star_relations WHERE primary_table = " +
           SqlLiteral(tableName) + " AND " + dialect.IntOfBit("slow_moving_dim") + " <> 0";
}

}  // namespace varnel::sql

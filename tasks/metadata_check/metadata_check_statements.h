#pragma once

// The statements of the metadata check, built apart from sending them so that
// their texts can be checked. They are the texts of the system description and
// run unchanged on SQL Server and SQLite.

#include <string>

namespace varnel {
class SqlDialect;
}

namespace varnel::sql {

//! The number of relation rows, R.
std::string CountRelations();
//! The number of dimension and fact rows of dwm_tables, T.
std::string CountCheckedTables();
//! Every relation row with the columns the check reads, in the order it tests them.
std::string SelectRelations();
//! Every dimension and fact row of dwm_tables, its type upper-cased.
std::string SelectCheckedTables();
//! The distinct slowly-changing flags of the relations whose primary table is the one given.
std::string SelectSlowMovingDim(const std::string& tableName);
//! The tables that dwm_star_relations names and dwm_tables lacks.
std::string SelectTablesMissingFromDwmTables();
//! The dimension tables of dwm_tables, each once.
std::string SelectDimensionTables();
//! The dimension tables that a relation says change slowly, each once.
std::string SelectSlowlyChangingTables(const SqlDialect& dialect);
//! The element keys of the slowly changing relations of the table given.
std::string SelectElementKeys(const SqlDialect& dialect, const std::string& tableName);

}  // namespace varnel::sql

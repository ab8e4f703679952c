#pragma once

// The marks may be older than the rows that now refer to the table: a fact loaded
// after the marking can use a marked row. Right before a table's marked rows are
// deleted, inside the same transaction, every row that some row of a referring
// table refers to loses its mark. Tables go referring-first, so that a referring
// row this run deletes is gone before the table it refers to is checked.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "warehouse/odbc.h"
#include "warehouse/sql_dialect.h"

namespace varnel {

//! Every relation's referenced and referring table: primary_table, foreign_table.
std::string RelationTablesQuery();

//! The relations through which rows refer to the table: foreign_table,
//! primary_columns and foreign_columns of each relation whose primary_table it is.
std::string ReferringRelationsQuery(const std::string& table);

//! Clears the mark of every marked row of the table that a row of the referring
//! table refers to, whatever that row's own mark. The column lists are split at
//! commas and each piece trimmed; the n-th referenced column pairs with the n-th
//! referring one. The referring table is read under an alias, so that a table
//! referring to itself compares its rows with each other. Throws when the
//! referring list is shorter than the referenced one.
std::string KeepReferencedRowsStatement(const SqlDialect& dialect, const std::string& table,
                                        const std::string& referrer,
                                        const std::string& primaryColumns,
                                        const std::string& foreignColumns);

//! The tables in the order to delete them: each after every listed table that
//! refers to it (a table referring to itself does not count), otherwise in list
//! order; tables caught in a cycle of references follow the rest in list order.
//! references holds (referenced table, referring table) pairs; names compare
//! without regard to case and surrounding blanks.
std::vector<std::string> ReferringFirst(
    const std::vector<std::string>& tables,
    const std::vector<std::pair<std::string, std::string>>& references);

//! Runs the check of every relation of the table on the connection, inside the
//! caller's transaction; returns the number of rows whose mark it cleared (each
//! row once). Throws when a check cannot run.
std::int64_t KeepReferencedRows(const std::string& table, Connection& connection);

//! The line that reports rows kept this way.
std::string KeptRowsLine(const std::string& table, std::int64_t kept);

}  // namespace varnel

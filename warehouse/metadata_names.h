#pragma once

// Names from the metadata tables go into statements as they stand, so each one is
// checked first: a table or column name must be an identifier, a column list a
// comma list of identifiers. Anything else could end the name early and add SQL
// of its own.

#include <optional>
#include <string>
#include <string_view>

namespace varnel {

class Connection;

//! True when the text, trimmed of blanks, is one identifier: letters (bytes beyond
//! ASCII count as letters), digits, _, $ and #; or one name delimited by [] or ""
//! with the closing delimiter doubled inside; with an optional schema prefix
//! before a '.' that follows the same rule (dbo.d_store, dbo.[d store]).
bool IsIdentifier(std::string_view name);

//! The parts of a name as the engine reads them: the schema (empty when none) and
//! the name, each without its delimiters and with doubled closing delimiters undone.
struct NameParts {
    std::string Schema;
    std::string Name;
};

//! The parts of an identifier (see IsIdentifier); nullopt for a text that is none.
std::optional<NameParts> SplitIdentifier(std::string_view name);

//! True when every piece of the comma list, trimmed of blanks, is an identifier. A
//! blank list is an empty list; an empty piece ("a,,b", "a,") is not a name.
bool IsIdentifierList(std::string_view list);

//! The fault for a value of a metadata column that is not a name.
std::string InvalidNameMessage(std::string_view table, std::string_view column,
                               std::string_view value);

//! Reads the names that the tasks build statements from: table_name of the dimension
//! and fact rows of dwm_tables, and primary_table, primary_columns, foreign_table,
//! foreign_columns and original_primary_key of every row of dwm_star_relations.
//! Returns the fault for the first value that is not a name (relations first, rows
//! in the order read), nullopt when every one passes. Null values, and a metadata
//! table or column that is missing, are left to the tasks that read them.
std::optional<std::string> FindInvalidMetadataName(Connection& connection);

}  // namespace varnel

#pragma once

// The shared operations of the tasks and windows on an open connection. A failed
// query throws (OdbcError), except where a function says otherwise.

#include <cstdint>
#include <optional>
#include <string>

#include "warehouse/odbc.h"

namespace varnel {

//! True when the connection's catalog lists a table (or view) of that name;
//! names match as the engine matches them. Throws when the catalog cannot be read.
bool TableExists(Connection& connection, const std::string& tableName);

//! A name as the catalog keeps it: one pair of delimiters ("name", [name], `name`)
//! removed and a doubled closing delimiter inside read as one, as the engine reads the
//! name in a statement. Any other text comes back as written.
std::string CatalogName(const std::string& name);

//! True when the table has a column of that name (both trimmed). A failed catalog
//! query counts as a missing column and leaves its description + CR LF in the message text.
bool ColumnExists(Connection& connection, const std::string& tableName,
                  const std::string& columnName, std::string& messageText);

//! True when the table (trimmed) has at least one index of any kind. A failed
//! catalog query counts as none and leaves its description + CR LF in the message text.
bool TableHasIndex(Connection& connection, const std::string& tableName, std::string& messageText);

//! "select count(*) from " + the table; throws when the table cannot be counted.
std::int32_t CountRows(Connection& connection, const std::string& tableName);

//! The default when the value is Null, otherwise the value.
std::string NullToText(const std::optional<std::string>& value, const std::string& defaultText);

//! ADO's type numbers, by which the callers name parameter and column types.
enum class AdoType : int {
    SmallInt = 2,
    Integer = 3,
    Single = 4,
    Double = 5,
    Currency = 6,
    Date = 7,
    Boolean = 11,
    TinyInt = 16,
    BigInt = 20,
    Char = 129,
    WChar = 130,
    Numeric = 131,
    DbDate = 133,
    DbTime = 134,
    DbTimeStamp = 135,
    VarNumeric = 139,
    VarChar = 200,
    LongVarChar = 201,
    VarWChar = 202,
    LongVarWChar = 203,
    Binary = 128,
    VarBinary = 204,
    LongVarBinary = 205,
};

enum class ParameterDirection { Input = 1 };

//! Appends a typed, nullable parameter to the command. Precision and scale count
//! only for numeric, variable numeric and currency parameters.
void AddCommandParameter(Command& command, const std::string& name, AdoType type,
                         ParameterDirection direction, std::size_t size, int precision, int scale,
                         Value value);

//! True when the folder exists.
bool FolderExists(const std::string& path);
//! Creates the folder with all missing parents; errors are swallowed.
void CreateFolderPath(const std::string& path);

}  // namespace varnel

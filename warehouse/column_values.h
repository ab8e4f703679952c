#pragma once

// Values read from a result, typed again as parameters so that they can be
// written back or compared with what the table holds.

#include <optional>
#include <string>

#include "warehouse/odbc.h"
#include "warehouse/sql_dialect.h"

namespace varnel {

//! A value read from a column, as a parameter of the column's kind: whole numbers
//! as integers, real numbers as doubles, dates as timestamps, or as the text read
//! where the engine keeps dates as text, everything else as text. Null stays Null.
Parameter ColumnValueParameter(const ColumnInfo& column, const std::optional<std::string>& value,
                               const SqlDialect& dialect);

//! A date read from a result as a timestamp parameter; Null stays Null. Throws
//! when the text is no date.
Parameter DateParameter(const std::string& name, const std::optional<std::string>& value);

//! A date read from a result, to be written back unchanged: as a timestamp
//! (fraction of the second kept), or as the very text read where the engine keeps
//! dates as text.
Parameter DateValueParameter(const std::string& name, const std::optional<std::string>& value,
                             const SqlDialect& dialect);

}  // namespace varnel

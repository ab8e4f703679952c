#include "warehouse/column_values.h"

#include <algorithm>
#include <stdexcept>

namespace varnel {

Parameter ColumnValueParameter(const ColumnInfo& column, const std::optional<std::string>& value,
                               const SqlDialect& dialect) {
    Parameter parameter;
    parameter.Name = column.Name;
    parameter.Size = column.Size;
    parameter.Scale = column.Scale;
    switch (column.Kind) {
        case ColumnKind::Whole:
            parameter.Type = ValueType::Integer;
            parameter.Size = 0;
            if (value) {
                try {
                    std::size_t used = 0;
                    const long long number = std::stoll(*value, &used);
                    if (used == value->size()) {
                        parameter.Data = std::int64_t{number};
                        return parameter;
                    }
                } catch (const std::exception&) {
                }
                // A value that is no whole number is compared as the text it is.
                parameter.Type = ValueType::Text;
                parameter.Data = *value;
            }
            return parameter;
        case ColumnKind::Real:
            parameter.Type = ValueType::Double;
            parameter.Size = 0;
            if (value) parameter.Data = std::stod(*value);
            return parameter;
        case ColumnKind::Date:
            // NOTE: SQLite warehouses keep dates as text, and a bound timestamp never
            // equals a stored text of another form ('2005-03-07' against
            // '2005-03-07 00:00:00'): there the value goes back as it was read.
            if (!dialect.KeepsDatesAsText()) return DateParameter(column.Name, value);
            break;
        case ColumnKind::Text:
            break;
    }
    parameter.Type = ValueType::Text;
    if (value) {
        parameter.Data = *value;
        parameter.Size = std::max<std::size_t>(parameter.Size, value->size());
    }
    return parameter;
}

Parameter DateParameter(const std::string& name, const std::optional<std::string>& value) {
    Parameter parameter;
    parameter.Name = name;
    parameter.Type = ValueType::Timestamp;
    if (!value) return parameter;
    const auto date = Timestamp::FromIsoText(*value);
    if (!date) throw std::runtime_error("The value '" + *value + "' of " + name + " is no date.");
    parameter.Data = *date;
    return parameter;
}

Parameter DateValueParameter(const std::string& name, const std::optional<std::string>& value,
                             const SqlDialect& dialect) {
    Parameter parameter = DateParameter(name, value);  // a text that is no date fails here too
    // NOTE: a date kept as text (SQLite) rewritten through a timestamp would change
    // its form ('2020-01-01' becomes '2020-01-01 00:00:00') and so what compares equal.
    if (dialect.KeepsDatesAsText() && value) {
        parameter.Type = ValueType::Text;
        parameter.Data = *value;
    }
    return parameter;
}

}  // namespace varnel

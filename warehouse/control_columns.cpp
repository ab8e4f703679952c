#include "warehouse/control_columns.h"

#include "warehouse/odbc.h"

namespace varnel {

std::string ControlColumnNullsQuery(const std::string& table) {
    return "SELECT SUM(CASE WHEN is_deletable IS NULL THEN 1 ELSE 0 END), SUM(CASE WHEN "
           "is_sustainable IS NULL THEN 1 ELSE 0 END) FROM " +
           table;
}

std::vector<std::string> ControlColumnNullLines(Connection& connection, const std::string& table) {
    std::vector<std::string> lines;
    auto counts = connection.Query(ControlColumnNullsQuery(table), 60);
    if (!counts.Next()) return lines;
    const char* const columns[] = {"is_deletable", "is_sustainable"};
    for (std::size_t i = 0; i < 2; ++i) {
        const std::int64_t rows = counts.GetInt(i).value_or(0);
        if (rows > 0)
            lines.push_back("Table " + table + ": " + std::to_string(rows) +
                            " rows have no value in " + columns[i] + "; they are kept.");
    }
    return lines;
}

}  // namespace varnel

#include "warehouse/list_columns.h"

#include "base/text.h"
#include "warehouse/sql_dialect.h"

namespace varnel {

// Both engines match column names without regard to case, and so does this test.
bool IsCheckColumn(const std::string& name) {
    return EqualsIgnoringCase(name, "is_selected") || EqualsIgnoringCase(name, "is_sustainable");
}

std::vector<std::size_t> ShownColumns(const std::vector<ColumnInfo>& columns) {
    std::vector<std::size_t> shown;
    for (std::size_t i = 1; i < columns.size(); ++i)
        if (!IsCheckColumn(columns[i].Name)) shown.push_back(i);
    return shown;
}

std::vector<std::string> ListHeaders(const std::vector<ColumnInfo>& columns) {
    std::vector<std::string> headers;
    for (const std::size_t i : ShownColumns(columns)) headers.push_back(columns[i].Name);
    return headers;
}

std::vector<std::string> TableColumnNames(Connection& connection, const std::string& table) {
    Command command{connection.Dialect().TableColumnsQuery(), {}, 60, false};
    command.Parameters.push_back({"table", ValueType::Text, 0, 0, 0, TrimBlanks(table)});
    auto result = connection.Query(command);
    std::vector<std::string> names;
    while (result.Next()) names.push_back(result.Get(0).value_or(""));
    return names;
}

std::vector<std::string> TableListHeaders(Connection& connection, const std::string& table) {
    std::vector<std::string> headers;
    for (auto& name : TableColumnNames(connection, table))
        if (!IsCheckColumn(name)) headers.push_back(std::move(name));
    return headers;
}

std::string ListQueryErrorMessage(const SqlDialect& dialect, const std::string& description) {
    std::size_t start = 0;
    while (start <= description.size()) {
        std::size_t end = description.find("\r\n", start);
        if (end == std::string::npos) end = description.size();
        const auto column = dialect.MissingColumnName(description.substr(start, end - start));
        if (column == "is_sustainable") return "Column 'is_sustainable' does not exist.";
        if (column == "is_deletable") return "Column 'is_deletable' does not exist.";
        start = end + 2;
    }
    return description;
}

}  // namespace varnel

#include "warehouse/database_access.h"

#include <filesystem>
#include <stdexcept>
#include <vector>

#include "base/text.h"
#include "warehouse/operation_edge.h"
#include "warehouse/sql_dialect.h"

namespace varnel {

std::string CatalogName(const std::string& name) {
    if (name.size() < 2) return name;
    const char open = name.front();
    const char close = open == '[' ? ']' : open;
    if ((open != '"' && open != '[' && open != '`') || name.back() != close) return name;
    std::string inner;
    for (std::size_t i = 1; i + 1 < name.size(); ++i) {
        inner += name[i];
        // A doubled closing delimiter stands for one; a single one ends the name early,
        // so the text is no delimited name and stays as written.
        if (name[i] == close) {
            if (i + 2 >= name.size() || name[i + 1] != close) return name;
            ++i;
        }
    }
    return inner.empty() ? name : inner;
}

bool TableExists(Connection& connection, const std::string& tableName) {
    Command command{connection.Dialect().TableExistsQuery(), {}, 60, false};
    command.Parameters.push_back({"table", ValueType::Text, 0, 0, 0, CatalogName(tableName)});
    auto result = connection.Query(command);
    return result.Next();
}

namespace {

// Runs a catalog query with text parameters; True when it returns a row.
bool CatalogHasRow(Connection& connection, const std::string& query,
                   const std::vector<std::string>& values, std::string& messageText) {
    return AtOperationEdge(messageText, [&] {
        Command command{query, {}, 60, false};
        for (const auto& value : values)
            command.Parameters.push_back({"name", ValueType::Text, 0, 0, 0, value});
        auto result = connection.Query(command);
        return result.Next();
    });
}

}  // namespace

bool ColumnExists(Connection& connection, const std::string& tableName,
                  const std::string& columnName, std::string& messageText) {
    return CatalogHasRow(connection, connection.Dialect().ColumnExistsQuery(),
                         {CatalogName(TrimBlanks(tableName)), CatalogName(TrimBlanks(columnName))},
                         messageText);
}

bool TableHasIndex(Connection& connection, const std::string& tableName, std::string& messageText) {
    return CatalogHasRow(connection, connection.Dialect().TableHasIndexQuery(),
                         {CatalogName(TrimBlanks(tableName))}, messageText);
}

std::int32_t CountRows(Connection& connection, const std::string& tableName) {
    auto result = connection.Query("select count(*) from " + tableName);
    if (!result.Next()) throw std::runtime_error("No count came back for " + tableName + ".");
    return static_cast<std::int32_t>(result.GetInt(0).value_or(0));
}

std::string NullToText(const std::optional<std::string>& value, const std::string& defaultText) {
    return value ? *value : defaultText;
}

namespace {

ValueType BindingOf(AdoType type) {
    switch (type) {
        case AdoType::SmallInt:
        case AdoType::Integer:
        case AdoType::TinyInt:
        case AdoType::BigInt:
        case AdoType::Boolean:
            return ValueType::Integer;
        case AdoType::Single:
        case AdoType::Double:
        case AdoType::Currency:
        case AdoType::Numeric:
        case AdoType::VarNumeric:
            return ValueType::Double;
        case AdoType::Date:
        case AdoType::DbDate:
        case AdoType::DbTimeStamp:
            return ValueType::Timestamp;
        default:
            return ValueType::Text;
    }
}

}  // namespace

void AddCommandParameter(Command& command, const std::string& name, AdoType type,
                         ParameterDirection /*direction: input is the only kind used*/,
                         std::size_t size, int precision, int scale, Value value) {
    Parameter parameter;
    parameter.Name = name;
    parameter.Type = BindingOf(type);
    parameter.Size = size;
    if (type == AdoType::Numeric || type == AdoType::VarNumeric || type == AdoType::Currency) {
        parameter.Precision = static_cast<unsigned char>(precision);
        parameter.Scale = static_cast<unsigned char>(scale);
    }
    parameter.Data = std::move(value);
    command.Parameters.push_back(std::move(parameter));
}

bool FolderExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

void CreateFolderPath(const std::string& path) {
    std::error_code ec;
    if (path.empty() || FolderExists(path)) return;
    std::filesystem::create_directories(path, ec);
}

}  // namespace varnel

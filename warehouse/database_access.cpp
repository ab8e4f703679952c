#include "warehouse/database_access.h"

#include <filesystem>
#include <vector>

#include "base/message_text.h"
#include "base/text.h"
#include "warehouse/sql_dialect.h"

namespace varnel {

bool TableExists(Connection& connection, const std::string& tableName) {
    try {
        Command command{connection.Dialect().TableExistsQuery(), {}, 60, false};
        command.Parameters.push_back({"table", ValueType::Text, 0, 0, 0, tableName});
        auto result = connection.Query(command);
        return result.Next();
    } catch (const std::exception&) {
        return false;
    }
}

namespace {

// Runs a catalog query with text parameters; True when it returns a row.
bool CatalogHasRow(Connection& connection, const std::string& query,
                   const std::vector<std::string>& values) {
    try {
        Command command{query, {}, 60, false};
        for (const auto& value : values)
            command.Parameters.push_back({"name", ValueType::Text, 0, 0, 0, value});
        auto result = connection.Query(command);
        return result.Next();
    } catch (const std::exception& error) {
        MessageText += error.what();
        MessageText += "\r\n";
        return false;
    }
}

}  // namespace

bool ColumnExists(Connection& connection, const std::string& tableName,
                  const std::string& columnName) {
    return CatalogHasRow(connection, connection.Dialect().ColumnExistsQuery(),
                         {TrimBlanks(tableName), TrimBlanks(columnName)});
}

bool TableHasIndex(Connection& connection, const std::string& tableName) {
    return CatalogHasRow(connection, connection.Dialect().TableHasIndexQuery(),
                         {TrimBlanks(tableName)});
}

std::int32_t CountRows(Connection& connection, const std::string& tableName) {
    try {
        auto result = connection.Query("select count(*) from " + tableName);
        if (!result.Next()) return 0;
        return static_cast<std::int32_t>(result.GetInt(0).value_or(0));
    } catch (const std::exception&) {
        return 0;
    }
}

std::string NullToText(const std::optional<std::string>& value, const std::string& defaultText) {
    return value ? *value : defaultText;
}

AdoType AdoTypeOfSqlType(SQLSMALLINT sqlType) {
    switch (sqlType) {
        case SQL_CHAR: return AdoType::Char;
        case SQL_VARCHAR: return AdoType::VarChar;
        case SQL_LONGVARCHAR: return AdoType::LongVarChar;
        case SQL_WCHAR: return AdoType::WChar;
        case SQL_WVARCHAR: return AdoType::VarWChar;
        case SQL_WLONGVARCHAR: return AdoType::LongVarWChar;
        case SQL_TYPE_TIMESTAMP:
        case SQL_DATETIME: return AdoType::DbTimeStamp;
        case SQL_TYPE_DATE: return AdoType::DbDate;
        case SQL_TYPE_TIME: return AdoType::DbTime;
        case SQL_NUMERIC:
        case SQL_DECIMAL: return AdoType::Numeric;
        case SQL_INTEGER: return AdoType::Integer;
        case SQL_SMALLINT: return AdoType::SmallInt;
        case SQL_TINYINT: return AdoType::TinyInt;
        case SQL_BIGINT: return AdoType::BigInt;
        case SQL_BIT: return AdoType::Boolean;
        case SQL_REAL: return AdoType::Single;
        case SQL_FLOAT:
        case SQL_DOUBLE: return AdoType::Double;
        case SQL_BINARY: return AdoType::Binary;
        case SQL_VARBINARY: return AdoType::VarBinary;
        case SQL_LONGVARBINARY: return AdoType::LongVarBinary;
        default: return AdoType::VarChar;
    }
}

namespace {

ValueType BindingOf(AdoType type) {
    switch (type) {
        case AdoType::SmallInt:
        case AdoType::Integer:
        case AdoType::TinyInt:
        case AdoType::BigInt:
        case AdoType::Boolean: return ValueType::Integer;
        case AdoType::Single:
        case AdoType::Double:
        case AdoType::Currency:
        case AdoType::Numeric:
        case AdoType::VarNumeric: return ValueType::Double;
        case AdoType::Date:
        case AdoType::DbDate:
        case AdoType::DbTimeStamp: return ValueType::Timestamp;
        default: return ValueType::Text;
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

std::string ParentFolder(const std::string& path) {
    const auto separator = path.find_last_of('/');
    if (separator == std::string::npos) return {};
    return path.substr(0, separator);
}

}  // namespace varnel

#include "warehouse/engine_error.h"

#include "warehouse/odbc.h"

namespace varnel {

std::string DescribeTableError(const std::exception& error, const std::string& table) {
    if (dynamic_cast<const OdbcError*>(&error) == nullptr) return error.what();
    return WithTableLine(error.what(), table);
}

std::string WithTableLine(const std::string& description, const std::string& table) {
    return table.empty() ? description : description + "\r\nTable concerned: " + table;
}

}  // namespace varnel

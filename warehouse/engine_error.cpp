#include "warehouse/engine_error.h"

#include "warehouse/odbc.h"

namespace varnel {

std::string DescribeTableError(const std::exception& error, const std::string& table) {
    std::string text = error.what();
    if (dynamic_cast<const OdbcError*>(&error) != nullptr && !table.empty())
        text += "\r\nTable concerned: " + table;
    return text;
}

}  // namespace varnel

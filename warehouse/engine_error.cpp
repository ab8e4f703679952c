#include "warehouse/engine_error.h"

#include "warehouse/odbc.h"

namespace varnel {

std::string DescribeStepError(const std::exception& error, const std::string& step) {
    if (dynamic_cast<const OdbcError*>(&error) == nullptr) return error.what();
    return WithStepLine(step, error.what());
}

std::string WithStepLine(const std::string& step, const std::string& description) {
    return step.empty() ? description : step + " failed:\r\n" + description;
}

}  // namespace varnel

#include "base/environment.h"

#include <cstdlib>

namespace varnel {

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace varnel

#pragma once

#include <vector>

#include "driver/run_driver.h"

namespace varnel {

//! The five tasks in their fixed order, with their cancel and error lines.
const std::vector<RunTask>& DefaultTaskTable();

}  // namespace varnel

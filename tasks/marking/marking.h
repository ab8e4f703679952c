#pragma once

#include "run/task_context.h"

namespace varnel {

//! The detect-and-mark task: sets is_deletable = 1 on the rows of the selected
//! dimension tables that nothing uses, in dependency order down the snowflake.
bool DetectUnusedElements(TaskContext& context);

}  // namespace varnel

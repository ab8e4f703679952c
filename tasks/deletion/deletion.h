#pragma once

#include <string>

namespace varnel {

//! The deletion task: deletes the marked rows of the selected dimension tables,
//! plainly (repairing slowly changing dimensions) or atomically.
bool DeleteMarkedElements(bool atomic, const std::string& logPath, const std::string& jobId);

}  // namespace varnel

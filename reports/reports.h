#pragma once

#include <string>

namespace varnel {

//! The report task: writes the summary, detailed and table filter reports into
//! the directory.
bool WriteReports(const std::string& reportDirectory);

}  // namespace varnel

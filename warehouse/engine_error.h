#pragma once

#include <exception>
#include <string>

namespace varnel {

//! The description of an error met in a step of the run ("Marking table d_store").
//! An error of the engine gets a line before it that names the step and says that it
//! failed, which the driver's own message does not; the tool's own messages name
//! their table already and stay as they are.
std::string DescribeStepError(const std::exception& error, const std::string& step);

//! The line that names a failed step, then the description; the description alone
//! when there is no step.
std::string WithStepLine(const std::string& step, const std::string& description);

}  // namespace varnel

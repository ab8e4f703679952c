#pragma once

#include "base/timestamp.h"

namespace varnel {

//! When the current run started, taken once from the clock; it names the log and
//! the report files. Both hold the same reading (date and time of day).
inline Timestamp RunStartDate;
inline Timestamp RunStartTime;

}  // namespace varnel

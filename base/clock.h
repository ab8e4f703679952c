#pragma once

#include <string>

#include "base/timestamp.h"

namespace varnel {

//! The local date and time now from the system clock, whatever clock a run reads: for
//! records that tell when something really happened.
Timestamp SystemNow();

//! "dddd, mmm d yyyy": "Monday, Mar 7 2005".
std::string FormatLongDate(const Timestamp& t);
//! The long time format: "23:05:09".
std::string FormatLongTime(const Timestamp& t);
//! The general date format: "2005-03-07 23:05:09", the time left out at midnight.
std::string FormatGeneralDate(const Timestamp& t);
//! "dd-mm-yyyy" for file names: "07-03-2005".
std::string FormatFileDate(const Timestamp& t);
//! "hh-mm-ss" for file names: "23-05-09".
std::string FormatFileTime(const Timestamp& t);

}  // namespace varnel

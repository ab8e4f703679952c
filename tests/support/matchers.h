#pragma once

#include <gmock/gmock.h>

#include "tests/support/job_history_reader.h"

namespace varnel::testing {

//! A callable that throws E with the text in its message.
template <typename E = std::exception>
auto ThrowsWithMessage(const std::string& part) {
    return ::testing::ThrowsMessage<E>(::testing::HasSubstr(part));
}

//! A job-history entry given as "category|table|status|record count".
MATCHER_P(HistoryIs, summary, "is the job-history entry " + std::string(summary)) {
    *result_listener << "is " << Summary(arg);
    return Summary(arg) == summary;
}

}  // namespace varnel::testing

#pragma once

#include <gtest/gtest.h>

#include "run/process_state.h"

namespace varnel::testing {

//! Every test starts from a fresh process's values: a state of its own.
class StateTest : public ::testing::Test {
  protected:
    ProcessState state_;
};

}  // namespace varnel::testing

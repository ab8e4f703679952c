#pragma once

#include "tests/support/run_doubles.h"  // StateTest

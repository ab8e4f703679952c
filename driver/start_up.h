#pragma once

#include <functional>

#include "run/command_line.h"
#include "run/process_state.h"

namespace varnel {

//! Runs the main window for an interactive or configuration session and returns
//! when it closes; given by a build that has the desktop window.
using WindowSession = std::function<void(ProcessState& state, StartMode mode)>;

//! The process start-up: applies the command line (or the line of an @FILE given
//! alone), then opens the main window or runs once unattended. Returns the
//! process exit status: 0 for a successful run or a window session, 1 for a
//! failed run or an unreadable command file. Without a window session the main
//! window cannot open.
int Main(ProcessState& state, int argc, char** argv, const WindowSession& session = {});

}  // namespace varnel

#pragma once

#include <functional>

#include "run/command_line.h"
#include "run/process_state.h"

namespace varnel {

//! Runs the main window for an interactive or configuration session and returns
//! the exit status when it closes; given by a build that has the desktop window.
using WindowSession = std::function<int(ProcessState& state, StartMode mode)>;

//! Readies the display of an unattended run (the window of its progress); called
//! before the run writes its first status, so it must never end the process.
using RunDisplay = std::function<void(ProcessState& state)>;

//! The process start-up: applies the command line (or the line of an @FILE given
//! alone), then opens the main window or runs once unattended. Returns the
//! process exit status: 0 for a successful run or a window session, 1 for a
//! failed run or an unreadable command file; a window session gives its own. Without
//! a window session the main window cannot open; without a run display an unattended
//! run shows its progress on the console.
int Main(ProcessState& state, int argc, char** argv, const WindowSession& session = {},
         const RunDisplay& display = {});

}  // namespace varnel

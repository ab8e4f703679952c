#pragma once

#include <string>
#include <vector>

#include "run/log_stream.h"
#include "run/process_state.h"
#include "run/run_settings.h"
#include "run/task_context.h"

namespace varnel {

//! The tasks in their fixed order: metadata check, archiving, detect and mark,
//! reports, deletion; or those a test installed in the state.
const std::vector<RunTask>& TaskTable(const ProcessState& state);
//! Replaces the task table (tests put their own tasks in); empty restores the default.
void SetTaskTable(ProcessState& state, std::vector<RunTask> tasks);

//! Shows a text in a message box titled "Varnel" unless silent, and writes it to
//! the log as one line when asked to.
void ReportMessage(ProcessState& state, bool writeToLog, LogStream* log, const std::string& text,
                   bool silent, int style);

//! One run from end to end: status file, log, validation, connections, lock,
//! progress window, the task sequence, unlock, summary, log copy, final status.
//! True when the run produced no message text. It may clear task flags.
bool ExecuteRun(ProcessState& state, RunSettings& settings);

//! Calls the chosen tasks in order; the first failure ends the sequence, reports
//! the task's cancel or error line and clears the flags of that task and all later ones.
bool RunTaskSequence(ProcessState& state, RunSettings& settings, LogStream* log,
                     const std::string& logPath);

//! The log file's path for a run started at the time given.
std::string LogFilePath(const std::string& directory, const Timestamp& start);

}  // namespace varnel

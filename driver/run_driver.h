#pragma once

#include <functional>
#include <string>
#include <vector>

#include "run/log_stream.h"
#include "run/run_settings.h"
#include "run/run_start.h"
#include "warehouse/odbc.h"

namespace varnel {

//! What a task is given by the run driver.
struct TaskContext {
    RunSettings& Settings;
    //! The open run log; null when the run writes none.
    LogStream* Log = nullptr;
    //! The log file's path; empty when the run writes none.
    std::string LogPath;
};

//! One task of the fixed sequence: its flag in the settings, the lines the run
//! reports when it is cancelled or fails, and the task itself.
struct RunTask {
    bool RunSettings::*Flag;
    std::string CancelMessage;
    std::string ErrorMessage;
    std::function<bool(TaskContext&)> Run;
};

//! The tasks in their fixed order: metadata check, archiving, detect and mark,
//! reports, deletion.
const std::vector<RunTask>& TaskTable();
//! Replaces the task table (tests put their own tasks in); empty restores the default.
void SetTaskTable(std::vector<RunTask> tasks);

//! Shows a text in a message box titled "Varnel" unless silent, and writes it to
//! the log as one line when asked to.
void ReportMessage(bool writeToLog, LogStream* log, const std::string& text, bool silent,
                   int style);

//! One run from end to end: status file, log, validation, connections, lock,
//! progress window, the task sequence, unlock, summary, log copy, final status.
//! True when the run produced no message text. It may clear task flags.
bool ExecuteRun(RunSettings& settings);

//! Calls the chosen tasks in order; the first failure ends the sequence, reports
//! the task's cancel or error line and clears the flags of that task and all later ones.
bool RunTaskSequence(RunSettings& settings, LogStream* log, const std::string& logPath);

//! The log file's path for a run started at the time given.
std::string LogFilePath(const std::string& directory, const Timestamp& start);

}  // namespace varnel

#pragma once

#include <functional>
#include <string>

#include "run/log_stream.h"
#include "run/run_settings.h"
#include "warehouse/job_history.h"

namespace varnel {

class ProcessState;
class ProgressWindow;
class SqlDialect;

//! What a task is given by the run driver: everything it reads or changes.
struct TaskContext {
    ProcessState& State;
    RunSettings& Settings;
    //! The dialect of the warehouse connection.
    const SqlDialect& Dialect;
    //! The run's progress window (a silent one when the run shows none).
    ProgressWindow& Progress;
    //! The open run log; null when the run writes none.
    LogStream* Log = nullptr;
    //! The log file's path; empty when the run writes none.
    std::string LogPath;
    //! The job-history record of this task run; its fields may change between entries.
    JobHistoryRecord History{};
};

//! One task of the fixed sequence: its flag in the settings, the lines the run
//! reports when it is cancelled or fails, and the task itself.
struct RunTask {
    bool RunSettings::*Flag;
    std::string CancelMessage;
    std::string ErrorMessage;
    std::function<bool(TaskContext&)> Run;
};

}  // namespace varnel

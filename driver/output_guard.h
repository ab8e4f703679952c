#pragma once

#include <string>
#include <vector>

#include "base/timestamp.h"
#include "run/run_settings.h"

namespace varnel {

//! A file that a run writes and must not be a file that holds data or another output.
struct OutputClash {
    //! Names both files.
    std::string Message;
    //! Which of the run's outputs take part; none of them may then be written.
    bool Status = false;
    bool Log = false;
    bool LogCopy = false;
};

//! Compares every output of the run (status file, log, log copy, report pages) with
//! the databases it reads and writes (the SQLite warehouse and archive with their
//! journals, the job history) and the outputs with each other. Two names are the same
//! file when the file system says so, or when their absolute paths with links resolved
//! are equal. logPath is the run's log, empty when it writes none.
std::vector<OutputClash> FindOutputClashes(const RunSettings& settings, const std::string& logPath,
                                           const Timestamp& runStart,
                                           const std::string& historyPath);

//! True when the two names are one file.
bool SameFile(const std::string& first, const std::string& second);

}  // namespace varnel

#pragma once

// The test build of varnel run on a SQLite warehouse, whole or killed.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/varnel_process.h"

namespace varnel::testing {

//! Runs the task option on the file, killed with SIGKILL before the statement given
//! unless it is 0; a whole run returns the number of statements it sent.
inline long RunTestProgram(const std::string& path, const std::string& task,
                           const std::string& logs, long killAt) {
    const std::string counted = logs + ".statements";
    std::vector<std::string> args = {VARNEL_TEST_EXE};
    if (killAt > 0)
        args.insert(args.end(), {"--kill-at", "statement:" + std::to_string(killAt)});
    else
        args.insert(args.end(), {"--count-statements", counted});
    const auto run = SqliteRun(VARNEL_TEST_EXE, path, logs);
    args.insert(args.end(), run.begin() + 1, run.end());
    args.push_back(task);
    EXPECT_EQ(RunChild(args).Signalled, killAt > 0)
        << task << " killed before statement " << killAt;
    long statements = 0;
    if (killAt == 0) std::ifstream(counted) >> statements;
    return statements;
}

}  // namespace varnel::testing

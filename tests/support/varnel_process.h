#pragma once

// Runs the varnel program built beside the tests as a child process, for tests in
// which a process must die or run beside another. Header-only: VARNEL_EXE is set
// per test executable.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace varnel::testing {

struct VarnelExit {
    //! How long the process lived.
    double Seconds = 0;
    //! It ended by itself with exit status 0.
    bool Succeeded = false;
};

//! Runs `varnel -mac sqlite -db PATH -ntaut -log LOGS TASK` with standard error
//! discarded; SIGKILL after the delay given, unless it is negative.
inline VarnelExit RunVarnelOnSqlite(const std::string& path, const std::string& task,
                                    const std::string& logs, double killAfterSeconds) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stderr);
        execl(VARNEL_EXE, VARNEL_EXE, "-mac", "sqlite", "-db", path.c_str(), "-ntaut", "-log",
              logs.c_str(), task.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (killAfterSeconds >= 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(killAfterSeconds));
        kill(child, SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

}  // namespace varnel::testing

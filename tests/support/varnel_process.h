#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace varnel::testing {

struct ChildIo {
    std::string In = "/dev/null", Out = "/dev/null", Err = "/dev/null";
};

struct ChildEnd {
    int ExitCode = -1;  // -1 when a signal ended the child
    bool Signalled = false;
    double Seconds = 0;  // from the call that waited for the child
    long PeakKilobytes = 0;
};

inline pid_t StartChild(const std::vector<std::string>& argv, const ChildIo& io = {}) {
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int fds[] = {open(io.In.c_str(), O_RDONLY),
                           open(io.Out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                           open(io.Err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
        for (int i = 0; i < 3; ++i)
            if (fds[i] < 0 || dup2(fds[i], i) < 0) _exit(126);
        execv(args[0], args.data());
        _exit(127);
    }
    return child;
}

//! Waits for the child; with a delay not negative, sends the signal after it first.
inline ChildEnd FinishChild(pid_t child, double signalAfterSeconds = -1, int signal = SIGKILL) {
    const auto start = std::chrono::steady_clock::now();
    if (signalAfterSeconds >= 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(signalAfterSeconds));
        kill(child, signal);
    }
    int status = 0;
    rusage usage{};
    if (child <= 0 || wait4(child, &status, 0, &usage) != child) return {};
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, WIFSIGNALED(status),
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            usage.ru_maxrss};
}

inline ChildEnd RunChild(const std::vector<std::string>& argv, const ChildIo& io = {},
                         double killAfterSeconds = -1) {
    return FinishChild(StartChild(argv, io), killAfterSeconds);
}

//! The start of an unattended run of the program on a SQLite warehouse file (and archive).
inline std::vector<std::string> SqliteRun(const std::string& program, const std::string& path,
                                          const std::string& logs,
                                          const std::string& archive = "") {
    // A SQLite file needs no login.
    std::vector<std::string> args = {program, "-mac", "sqlite", "-db", path, "-log", logs};
    if (!archive.empty()) args.insert(args.end(), {"-bkmac", "sqlite", "-bkdb", archive});
    return args;
}

}  // namespace varnel::testing

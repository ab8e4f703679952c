#include "tests/support/varnel_process.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace varnel::testing {

pid_t StartChild(const std::vector<std::string>& argv, const ChildIo& io) {
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

ChildEnd FinishChild(pid_t child, double signalAfterSeconds, int signal) {
    const auto start = std::chrono::steady_clock::now();
    if (signalAfterSeconds >= 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(signalAfterSeconds));
        kill(child, signal);
    }
    int status = 0;
    rusage usage{};
    ChildEnd end;
    if (child <= 0 || wait4(child, &status, 0, &usage) != child) return end;
    end.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    end.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    end.Signalled = WIFSIGNALED(status);
    end.PeakKilobytes = usage.ru_maxrss;
    return end;
}

}  // namespace varnel::testing

#pragma once

// Child processes for tests in which a program must die, run beside another or be
// watched from outside.

#include <signal.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace varnel::testing {

//! Where a child's standard streams go.
struct ChildIo {
    std::string In = "/dev/null";
    std::string Out = "/dev/null";
    std::string Err = "/dev/null";
};

struct ChildEnd {
    //! The exit status; -1 when a signal ended the child.
    int ExitCode = -1;
    bool Signalled = false;
    //! Seconds from the call that waited for it to its end.
    double Seconds = 0;
    long PeakKilobytes = 0;
};

//! Starts argv[0] with the arguments, in the test's environment.
pid_t StartChild(const std::vector<std::string>& argv, const ChildIo& io = {});
//! Waits for the child; with a delay not negative, sends the signal after it first.
ChildEnd FinishChild(pid_t child, double signalAfterSeconds = -1, int signal = SIGKILL);
inline ChildEnd RunChild(const std::vector<std::string>& argv, const ChildIo& io = {},
                         double killAfterSeconds = -1) {
    return FinishChild(StartChild(argv, io), killAfterSeconds);
}

//! The start of an unattended run of the program on a SQLite warehouse file.
inline std::vector<std::string> SqliteRun(const std::string& program, const std::string& path,
                                          const std::string& logs) {
    return {program, "-mac", "sqlite", "-db", path, "-ntaut", "-log", logs};
}

}  // namespace varnel::testing

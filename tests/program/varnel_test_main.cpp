// The varnel program with test hooks: it runs as varnel does, but stops or kills
// itself at the moments the caller names, so that a test can see what a crash at
// that moment leaves behind.
//
//   varnel_test [--pause-at POINT MARKER | --kill-at POINT | --count-statements FILE]...
//               VARNEL-ARGUMENTS
//
// POINT is a named point of a run (after-lock, after-archive-commit) or
// statement:N, the moment before the N-th statement of the process (counted from
// 1) goes to the driver. A pause writes the file MARKER, which tells the test that
// the run has got there, and waits a minute to be killed; a kill raises SIGKILL.
// --count-statements writes the number of statements the run sent into FILE when
// it ends, so that a test can spread its kill points over a whole run.

#include <signal.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/run_hooks.h"
#include "driver/start_up.h"
#include "run/process_state.h"

namespace varnel {
namespace {

constexpr std::string_view kStatementPrefix = "statement:";

struct Instruction {
    std::string Point, Marker;
    bool Kill = false;
};

class TestHooks : public RunHooks {
  public:
    explicit TestHooks(std::vector<Instruction> instructions)
        : instructions_(std::move(instructions)) {}

    void Reached(std::string_view point) override { Act(point); }

    void Sending() override { Act(std::string(kStatementPrefix) + std::to_string(++statements_)); }

    long Statements() const { return statements_; }

  private:
    void Act(std::string_view point) const {
        for (const auto& instruction : instructions_) {
            if (instruction.Point != point) continue;
            if (instruction.Kill) raise(SIGKILL);
            std::ofstream(instruction.Marker) << point << '\n';
            std::this_thread::sleep_for(std::chrono::minutes(1));
        }
    }

    std::vector<Instruction> instructions_;
    std::atomic<long> statements_{0};
};

bool KnownPoint(std::string_view point) {
    if (point == kAfterLockPoint || point == kAfterArchiveCommitPoint) return true;
    if (!point.starts_with(kStatementPrefix)) return false;
    const std::string_view number = point.substr(kStatementPrefix.size());
    return !number.empty() && number.find_first_not_of("0123456789") == std::string_view::npos &&
           number.find_first_not_of('0') != std::string_view::npos;
}

}  // namespace
}  // namespace varnel

int main(int argc, char** argv) {
    using varnel::Instruction;
    std::vector<Instruction> instructions;
    std::string countFile;
    int next = 1;
    while (next < argc) {
        const std::string_view option = argv[next];
        if (option == "--count-statements" && next + 1 < argc) {
            countFile = argv[next + 1];
            next += 2;
            continue;
        }
        const int needed = option == "--pause-at" ? 2 : option == "--kill-at" ? 1 : 0;
        if (needed == 0) break;
        if (next + needed >= argc || !varnel::KnownPoint(argv[next + 1])) {
            std::cerr << "varnel_test: " << option << " needs a known point"
                      << (needed == 2 ? " and a marker file" : "") << '\n';
            return 2;
        }
        instructions.push_back({argv[next + 1], needed == 2 ? argv[next + 2] : "", needed == 1});
        next += needed + 1;
    }
    varnel::TestHooks hooks(std::move(instructions));
    varnel::InstallRunHooks(&hooks);

    // The program's own arguments, as varnel would have been given them.
    std::vector<char*> arguments{argv[0]};
    arguments.insert(arguments.end(), argv + next, argv + argc);
    arguments.push_back(nullptr);
    varnel::ProcessState state;
    const int code = varnel::Main(state, static_cast<int>(arguments.size() - 1), arguments.data());
    if (!countFile.empty()) std::ofstream(countFile) << hooks.Statements() << '\n';
    return code;
}

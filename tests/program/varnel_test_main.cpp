// varnel with test hooks: [--pause-at POINT MARKER | --kill-at POINT | --count-statements FILE]...
// VARNEL-ARGUMENTS. POINT is after-lock, after-archive-commit, after-tasks or statement:N
// (before the N-th statement, from 1). A pause writes MARKER and waits, at most a minute, for
// a SIGINT or SIGTERM (the run then goes on) or to be killed; a kill raises SIGKILL; the count
// is written when the run ends. Unknown points are refused.

#include <signal.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iostream>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/run_hooks.h"
#include "driver/start_up.h"
#include "run/console_progress.h"
#include "run/process_state.h"

namespace {

class TestHooks : public varnel::RunHooks {
  public:
    std::vector<std::pair<std::string, std::string>> Instructions;  // no marker: kill
    std::atomic<long> Statements{0};

    void Reached(std::string_view point) override {
        for (const auto& [at, marker] : Instructions) {
            if (at != point) continue;
            if (marker.empty()) raise(SIGKILL);
            std::ofstream(marker) << point << '\n';
            const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
            while (!varnel::CancelSignalled() && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    void Sending() override { Reached("statement:" + std::to_string(++Statements)); }
};

}  // namespace

int main(int argc, char** argv) {
    static const std::regex known(
        "after-lock|after-archive-commit|after-tasks|statement:0*[1-9][0-9]*");
    TestHooks hooks;
    std::string countFile;
    int next = 1;
    for (; next + 1 < argc; next += 2) {
        const std::string option = argv[next], value = argv[next + 1];
        if (option == "--count-statements") {
            countFile = value;
            continue;
        }
        const bool pause = option == "--pause-at";
        if (!pause && option != "--kill-at") break;
        if (!std::regex_match(value, known) || (pause && next + 2 >= argc)) {
            std::cerr << "varnel_test: " << option << " needs a known point"
                      << (pause ? " and a marker file" : "") << '\n';
            return 2;
        }
        hooks.Instructions.push_back({value, pause ? argv[next + 2] : ""});
        next += pause ? 1 : 0;
    }
    varnel::InstallRunHooks(&hooks);

    argv[next - 1] = argv[0];
    varnel::ProcessState state;
    const int code = varnel::Main(state, argc - next + 1, argv + next - 1);
    if (!countFile.empty()) std::ofstream(countFile) << hooks.Statements << '\n';
    return code;
}

#include "driver/start_up.h"

#include <cstdlib>
#include <iostream>
#include <string_view>

#include "base/environment.h"
#include "base/text.h"
#include "driver/run_driver.h"
#include "run/console_progress.h"

namespace varnel {

namespace {

//! Why the main window cannot open in this process; empty when it can.
std::string NoWindowReason(const WindowSession& session) {
    if (!session) return "this build has no main window";
    if (EnvironmentValue("DISPLAY").empty() && EnvironmentValue("WAYLAND_DISPLAY").empty())
        return "there is no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    return {};
}

//! The text on the terminal as lines ending in a newline, without the CR LF that
//! introduces each line of MessageText and without blank lines.
std::string TerminalLines(const std::string& text) {
    std::string lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        if (!IsBlank(line)) lines += line + '\n';
        start = end + 1;
    }
    return lines;
}

void PrintUsage(std::ostream& out) {
    out << UsageText() << '\n'
        << "   or: Varnel @<command file>   (its first line is the command line)\n";
}

}  // namespace

int Main(ProcessState& state, int argc, char** argv, const WindowSession& session,
         const RunDisplay& display) {
    if (argc == 2 && std::string_view(argv[1]) == "--help") {
        PrintUsage(std::cout);
        return std::cout.flush() ? 0 : 1;
    }

    RunSettings settings;
    ResetRunSettings(state, settings);
    if (argc == 2 && argv[1][0] == '@') {
        std::string line;
        std::string error;
        if (!ReadCommandFile(argv[1] + 1, line, error)) {
            std::cerr << "Varnel: " << error << '\n';
            return 1;
        }
        SplitArguments(state, settings, line, MaxCommandLineArguments);
        // A scheduler that names a command file wants a run: a file without run
        // options must not pass for one by opening (or failing to open) a window.
        if (!state.CommandLineMode) {
            std::cerr << "Varnel: the command file " << (argv[1] + 1) << " holds no run options.\n";
            return 1;
        }
    } else {
        ApplyProcessArguments(state, settings, argc, argv, MaxCommandLineArguments);
    }

    const StartMode mode = DecideStartMode(state);
    if (mode == StartMode::Configuration) state.SavedSettings = settings;
    if (mode != StartMode::Unattended) {
        const std::string reason = NoWindowReason(session);
        if (!reason.empty()) {
            std::cerr << "Varnel: the main window cannot open: " << reason
                      << ". Give the run options on the command line (varnel --help).\n";
            return 1;
        }
        return session(state, mode);
    }

    if (display) display(state);
    InstallCancelSignalHandlers();
    const bool ok = ExecuteRun(state, settings);
    // Unattended: every window goes with the run.
    state.UnloadProgressWindow();
    if (!ok) {
        // The log and the status file say it too, but an operator at a terminal (or a
        // scheduler that keeps standard error) must not have to look for them to learn why.
        std::cerr << TerminalLines(state.MessageText) << "Varnel: failure\n";
    }
    return ok ? 0 : 1;
}

}  // namespace varnel

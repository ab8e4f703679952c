#include "run/start_up.h"

#include <iostream>

#include "run/console_progress.h"
#include "run/progress_window.h"
#include "run/run_driver.h"

namespace varnel {

namespace {

WindowSession& Session() {
    static WindowSession session;
    return session;
}

}  // namespace

void SetWindowSession(WindowSession session) { Session() = std::move(session); }

int Main(int argc, char** argv) {
    RunSettings settings;
    ResetRunSettings(settings);
    if (argc == 2 && argv[1][0] == '@') {
        std::string line;
        std::string error;
        if (!ReadCommandFile(argv[1] + 1, line, error)) {
            std::cerr << "Varnel: " << error << '\n';
            return 1;
        }
        SplitArguments(settings, line, MaxCommandLineArguments);
        // A scheduler that names a command file wants a run: a file without run
        // options must not pass for one by opening (or failing to open) a window.
        if (!CommandLineMode) {
            std::cerr << "Varnel: the command file " << (argv[1] + 1)
                      << " holds no run options.\n";
            return 1;
        }
    } else {
        ApplyProcessArguments(settings, argc, argv, MaxCommandLineArguments);
    }

    const StartMode mode = DecideStartMode();
    if (mode == StartMode::Configuration) SavedSettings = settings;
    if (mode != StartMode::Unattended) {
        if (Session()) {
            Session()(mode);
        } else {
            std::cerr << "Varnel: this build has no main window; run it with options:\n"
                      << UsageText() << '\n';
        }
        return 0;
    }

    InstallCancelSignalHandlers();
    const bool ok = ExecuteRun(settings);
    // Unattended: every window goes with the run.
    UnloadProgressWindow();
    return ok ? 0 : 1;
}

}  // namespace varnel

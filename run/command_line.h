#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "run/run_settings.h"

namespace varnel {

class ProcessState;

//! How many arguments the start-up procedure reads from a command line.
inline constexpr int MaxCommandLineArguments = 25;

//! What the process does after its options are applied.
enum class StartMode {
    Interactive,    //!< no run options: the main window runs the show
    Configuration,  //!< -config: the main window only saves the settings as a command line
    Unattended,     //!< run once with the options given, then end
};

//! True when the name (without its dash or slash) is one of the options, in any letter case.
bool IsOptionName(std::string_view name);

//! Splits a command line (without the program name) into at most maxArguments arguments.
//! Double quotes group blanks and tabs into one argument and are never copied.
std::vector<std::string> SplitArguments(const std::string& commandLine, int maxArguments);

//! Splits the whole command line and applies every option in it. A line of more than
//! maxArguments arguments is applied whole, so that its log and status file are known, and
//! recorded in CommandLineFaults so that validation refuses it.
void SplitArguments(ProcessState& state, RunSettings& settings, const std::string& commandLine,
                    int maxArguments);

//! Applies the options among the arguments. An option that takes a value takes the argument
//! after it, which is then no option of its own; an argument that is a dash and an option
//! name is never a value. Replaces CommandLineFaults with what stops this line from running:
//! more than maxArguments arguments, unknown options, an option name where a value belongs.
void ApplyArguments(ProcessState& state, RunSettings& settings,
                    const std::vector<std::string>& args, int maxArguments);

//! Applies the process's own arguments as they stand (argv[0] skipped), as ApplyArguments.
void ApplyProcessArguments(ProcessState& state, RunSettings& settings, int argc, char** argv,
                           int maxArguments);

//! Stores one option; the name is compared without regard to case, an unknown name asks for help.
void ApplyOption(ProcessState& state, const std::string& name, const std::string& value,
                 RunSettings& settings);

//! True when the record is complete for a run; otherwise appends the reasons (and, in
//! command-line mode, the usage text) to MessageText and returns False. An unattended run
//! is also refused for the faults of its command line (CommandLineFaults), reported first.
bool ValidateRunSettings(ProcessState& state, const RunSettings& settings);

//! The one-line usage text shown after a failed validation in command-line mode.
const std::string& UsageText();

//! The start mode chosen by CommandLineMode and ConfigMode.
StartMode DecideStartMode(const ProcessState& state);

//! The most a command file may hold.
inline constexpr long long MaxCommandFileBytes = 64 * 1024;

//! Reads the first line of a command file (@FILE) into commandLine, line end removed.
//! Only a regular file of at most MaxCommandFileBytes is read; a FIFO or a device is refused
//! without being waited on. False with a message naming the file otherwise.
bool ReadCommandFile(const std::string& path, std::string& commandLine, std::string& error);

}  // namespace varnel

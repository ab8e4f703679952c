#pragma once

#include <string>
#include <vector>

#include "run/run_settings.h"

namespace varnel {

//! How many arguments the start-up procedure reads from a command line.
inline constexpr int MaxCommandLineArguments = 25;

//! What the process does after its options are applied.
enum class StartMode {
    Interactive,    //!< no run options: the main window runs the show
    Configuration,  //!< -config: the main window only saves the settings as a command line
    Unattended,     //!< run once with the options given, then end
};

//! Splits a command line (without the program name) into at most maxArguments arguments.
//! Double quotes group blanks and tabs into one argument and are never copied.
std::vector<std::string> SplitArguments(const std::string& commandLine, int maxArguments);

//! Splits the command line and applies every option in it to the record.
void SplitArguments(RunSettings& settings, const std::string& commandLine, int maxArguments);

//! Applies the options among the arguments, each with the argument after it as its value.
void ApplyArguments(RunSettings& settings, const std::vector<std::string>& args);

//! Applies the process's own arguments as they stand (argv[0] skipped), at most maxArguments.
void ApplyProcessArguments(RunSettings& settings, int argc, char** argv, int maxArguments);

//! Stores one option; the name is compared without regard to case, an unknown name asks for help.
void ApplyOption(const std::string& name, const std::string& value, RunSettings& settings);

//! True when the record is complete for a run; otherwise appends the reasons (and, in
//! command-line mode, the usage text) to MessageText and returns False.
bool ValidateRunSettings(const RunSettings& settings);

//! The one-line usage text shown after a failed validation in command-line mode.
const std::string& UsageText();

//! The start mode chosen by CommandLineMode and ConfigMode.
StartMode DecideStartMode();

//! Reads the first line of a command file (@FILE) into commandLine, line end removed.
//! False with a message naming the file when it is missing or cannot be read.
bool ReadCommandFile(const std::string& path, std::string& commandLine, std::string& error);

}  // namespace varnel

#pragma once

#include <string>
#include <vector>

#include "base/message_text.h"

namespace varnel {

//! The options of one run: where the warehouse and the archive are, how to log in,
//! which tasks run and where the log, the log copy and the status file go.
//! Plain values; copied whole where a second owner needs it.
struct RunSettings {
    std::string Server;
    std::string UserName;
    std::string Password;
    bool WindowsAuth = false;
    std::string Database;
    bool CheckMetadata = false;
    std::string ArchiveServer;
    std::string ArchiveUserName;
    std::string ArchivePassword;
    bool ArchiveWindowsAuth = false;
    std::string ArchiveDatabase;
    bool ArchiveFacts = false;
    bool MarkUnused = false;
    bool DeleteMarked = false;
    bool AtomicDelete = false;
    bool GenerateReports = false;
    bool LogRequested = false;
    bool LogCopyRequested = false;
    std::string LogCopyFile;
    std::string LogDirectory;
    bool ConfigRequested = false;
    std::string ConfigFile;
    bool StatusFileRequested = false;
    std::string StatusFile;
    std::string JobId;
    bool HelpRequested = false;

    bool operator==(const RunSettings&) const = default;
};

// Process-wide values, one each for the life of the process.

//! The process was started with run options (every option but -logfile sets it).
inline bool CommandLineMode = false;
//! -config was given: the main window only saves the settings as a command line.
inline bool ConfigMode = false;
inline std::string ConfigFileName;
//! Why the command line itself cannot run (too many arguments, unknown options), one line
//! each; set when the options are applied and reported by validation in an unattended run.
inline std::vector<std::string> CommandLineFaults;
//! The record the main window reads in configuration mode.
inline RunSettings SavedSettings;

//! Every string empty, every flag False; also clears the process flag ConfigMode.
void ResetRunSettings(RunSettings& settings);

}  // namespace varnel

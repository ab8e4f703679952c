#pragma once

#include <string>
#include <vector>

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

class ProcessState;

//! Every string empty, every flag False; also clears the process flag ConfigMode.
void ResetRunSettings(ProcessState& state, RunSettings& settings);

}  // namespace varnel

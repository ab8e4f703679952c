#pragma once

#include <string>

#include "run/run_settings.h"

namespace varnel {

//! The settings chosen in the main window as one command line for a later unattended run.
//! The archive login (server, database, authentication, user, password) is taken from
//! archiveLogin, everything else from fromWindow.
//! A value that is empty or holds a blank or a tab is written in quotation marks; the log
//! folder always is.
std::string BuildConfigurationLine(const RunSettings& fromWindow, const RunSettings& archiveLogin);

//! Why the line built from these settings would not read back as the same settings: a
//! value written into it holds a quotation mark or starts with "-". The text names the
//! field; empty when the line reads back whole.
std::string ConfigurationLineProblem(const RunSettings& fromWindow,
                                     const RunSettings& archiveLogin);

//! Replaces the file's content with the line and CR LF. The file holds passwords, so it ends
//! up readable and writable by its owner only. False with a message naming the file on error.
bool WriteConfigurationFile(const std::string& path, const std::string& line, std::string& error);

}  // namespace varnel

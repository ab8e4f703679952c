#pragma once

#include <string>

namespace varnel {

class ProcessState;

//! Remembers the path of the job status file (StatusFileName); always True.
bool SetStatusFileName(ProcessState& state, const std::string& path);

//! Replaces the status file's content with the word and CR LF. False when no file name is
//! set or the file cannot be written; the directory is never created.
bool WriteJobStatus(const ProcessState& state, const std::string& word);
//! The same; when the file cannot be written, the reason says which file and why.
bool WriteJobStatus(const ProcessState& state, const std::string& word, std::string& reason);

}  // namespace varnel

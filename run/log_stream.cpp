#include "run/log_stream.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace varnel {

namespace {

[[noreturn]] void ThrowFileError(const std::string& what, const std::string& path, int error) {
    throw std::system_error(error ? error : EIO, std::generic_category(), what + " " + path);
}

}  // namespace

LogStream::LogStream(const std::string& path) : path_(path) {
    errno = 0;
    file_.open(path, std::ios::binary | std::ios::trunc);
    if (!file_) ThrowFileError("Cannot create the log file", path, errno);
}

void LogStream::WriteLine(const std::string& text) {
    if (!file_.is_open()) ThrowFileError("The log file is closed:", path_, EBADF);
    errno = 0;
    file_ << text << "\r\n";
    file_.flush();
    if (!file_) ThrowFileError("Cannot write the log file", path_, errno);
}

void LogStream::Close() {
    if (!file_.is_open()) return;
    errno = 0;
    file_.close();
    if (file_.fail()) ThrowFileError("Cannot write the log file", path_, errno);
}

}  // namespace varnel

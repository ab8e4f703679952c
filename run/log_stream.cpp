#include "run/log_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace varnel {

namespace {

[[noreturn]] void ThrowFileError(const std::string& what, const std::string& path, int error) {
    throw std::system_error(error ? error : EIO, std::generic_category(), what + " " + path);
}

}  // namespace

void ProveFileRoom(int fd, long bytes, const std::string& path) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) ThrowFileError("Cannot look at the file", path, errno);
    // Only regular files take a reservation; a terminal or a pipe has no disk to fill.
    if (!S_ISREG(status.st_mode)) return;
    const int error = ::posix_fallocate(fd, status.st_size, bytes);
    // The reservation goes back whether or not it was made: the file keeps its size.
    const int restored = ::ftruncate(fd, status.st_size) == 0 ? 0 : errno;
    if (error != 0) ThrowFileError("There is no room to write the file", path, error);
    if (restored != 0) ThrowFileError("Cannot write the file", path, restored);
}

LogStream::LogStream(const std::string& path) : path_(path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) ThrowFileError("Cannot create the log file", path, errno);
}

LogStream::~LogStream() {
    if (fd_ >= 0) ::close(fd_);
}

void LogStream::WriteLine(const std::string& text) {
    if (fd_ < 0) ThrowFileError("The log file is closed:", path_, EBADF);
    const std::string line = text + "\r\n";
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t count = ::write(fd_, line.data() + written, line.size() - written);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) ThrowFileError("Cannot write the log file", path_, count < 0 ? errno : 0);
        written += static_cast<std::size_t>(count);
    }
}

void LogStream::Close() {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) ThrowFileError("Cannot write the log file", path_, errno);
}

void LogStream::ProveRoom() {
    if (fd_ < 0) ThrowFileError("The log file is closed:", path_, EBADF);
    ProveFileRoom(fd_, kLogRoomBytes, path_);
}

}  // namespace varnel

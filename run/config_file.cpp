#include "run/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <system_error>

#include "base/text.h"

namespace varnel {

std::string BuildConfigurationLine(const RunSettings& fromWindow, const RunSettings& archiveLogin) {
    std::string line = "-mac " + fromWindow.Server + " -db " + fromWindow.Database;
    if (fromWindow.WindowsAuth) {
        line += " -ntaut";
    } else {
        line += " -usr " + fromWindow.UserName;
        if (!IsBlank(fromWindow.Password)) line += " -password " + fromWindow.Password;
    }
    if (fromWindow.CheckMetadata) line += " -chkmd";
    if (fromWindow.ArchiveFacts) {
        line += " -bkmac " + archiveLogin.ArchiveServer + " -bkdb " + archiveLogin.ArchiveDatabase;
        if (archiveLogin.ArchiveWindowsAuth) {
            line += " -bkntaut";
        } else {
            line += " -bkusr " + archiveLogin.ArchiveUserName;
            if (!IsBlank(archiveLogin.ArchivePassword)) {
                line += " -password_bk " + archiveLogin.ArchivePassword;
            }
        }
        line += " -clsf";
    }
    if (fromWindow.MarkUnused) line += " -mark";
    if (fromWindow.GenerateReports) line += " -grep";
    if (fromWindow.DeleteMarked) {
        line += " -del";
        if (fromWindow.AtomicDelete) line += " -datom";
    }
    line += " -log \"" + TrimBlanks(fromWindow.LogDirectory) + "\"";
    return line;
}

namespace {

//! Closes a file descriptor when it goes out of scope.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }

    int Get() const { return fd_; }
    //! Closes now so that a late write error (reported by close) is not lost.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

std::string WriteError(const std::string& path) {
    return "Cannot write the configuration file \"" + path +
           "\": " + std::generic_category().message(errno);
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool WriteConfigurationFile(const std::string& path, const std::string& line, std::string& error) {
    constexpr mode_t OwnerOnly = S_IRUSR | S_IWUSR;
    // Not truncated on opening: an old file may be readable by others, and its permissions
    // are narrowed first so that the new password is never visible to anyone else.
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, OwnerOnly));
    if (file.Get() < 0 || ::fchmod(file.Get(), OwnerOnly) != 0 || ::ftruncate(file.Get(), 0) != 0 ||
        !WriteAll(file.Get(), line + "\r\n") || !file.Close()) {
        error = WriteError(path);
        return false;
    }
    return true;
}

}  // namespace varnel

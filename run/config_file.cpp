#include "run/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <system_error>
#include <utility>
#include <vector>

#include "base/text.h"
#include "run/command_line.h"
#include "warehouse/connector.h"

namespace varnel {

namespace {

//! A value as the line holds it: in quotation marks when it is empty or holds a blank
//! or a tab, so that the tokenizer reads it back as one argument.
std::string Argument(const std::string& value) {
    if (value.empty() || value.find_first_of(" \t") != std::string::npos)
        return "\"" + value + "\"";
    return value;
}

}  // namespace

std::string BuildConfigurationLine(const RunSettings& fromWindow, const RunSettings& archiveLogin) {
    std::string line =
        "-mac " + Argument(fromWindow.Server) + " -db " + Argument(fromWindow.Database);
    // A SQLite file has no login: neither a user nor Windows authentication is written.
    if (IsSqliteServer(fromWindow.Server)) {
        // nothing to log in with
    } else if (fromWindow.WindowsAuth) {
        line += " -ntaut";
    } else {
        line += " -usr " + Argument(fromWindow.UserName);
        if (!IsBlank(fromWindow.Password)) line += " -password " + Argument(fromWindow.Password);
    }
    if (fromWindow.CheckMetadata) line += " -chkmd";
    if (fromWindow.ArchiveFacts) {
        line += " -bkmac " + Argument(archiveLogin.ArchiveServer) + " -bkdb " +
                Argument(archiveLogin.ArchiveDatabase);
        if (IsSqliteServer(archiveLogin.ArchiveServer)) {
            // nothing to log in with
        } else if (archiveLogin.ArchiveWindowsAuth) {
            line += " -bkntaut";
        } else {
            line += " -bkusr " + Argument(archiveLogin.ArchiveUserName);
            if (!IsBlank(archiveLogin.ArchivePassword)) {
                line += " -password_bk " + Argument(archiveLogin.ArchivePassword);
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
    // The log folder is quoted always, as it always was.
    line += " -log \"" + TrimBlanks(fromWindow.LogDirectory) + "\"";
    return line;
}

std::string ConfigurationLineProblem(const RunSettings& fromWindow,
                                     const RunSettings& archiveLogin) {
    std::vector<std::pair<std::string, std::string>> written = {{"server", fromWindow.Server},
                                                                {"database", fromWindow.Database}};
    if (!fromWindow.WindowsAuth && !IsSqliteServer(fromWindow.Server)) {
        written.emplace_back("user name", fromWindow.UserName);
        if (!IsBlank(fromWindow.Password)) written.emplace_back("password", fromWindow.Password);
    }
    if (fromWindow.ArchiveFacts) {
        written.emplace_back("archive server", archiveLogin.ArchiveServer);
        written.emplace_back("archive database", archiveLogin.ArchiveDatabase);
        if (!archiveLogin.ArchiveWindowsAuth && !IsSqliteServer(archiveLogin.ArchiveServer)) {
            written.emplace_back("archive user name", archiveLogin.ArchiveUserName);
            if (!IsBlank(archiveLogin.ArchivePassword))
                written.emplace_back("archive password", archiveLogin.ArchivePassword);
        }
    }
    written.emplace_back("log directory", TrimBlanks(fromWindow.LogDirectory));
    for (const auto& [field, value] : written) {
        // The tokenizer never copies a quotation mark, and a value that is a dash and an
        // option name is read back as that option.
        if (value.find('"') != std::string::npos)
            return "The " + field + " cannot be saved: it holds a quotation mark (\"), which " +
                   "a command line cannot carry.";
        if (value.starts_with('-') && IsOptionName(std::string_view(value).substr(1)))
            return "The " + field + " cannot be saved: \"" + value + "\" would be read back " +
                   "as the option " + value + ".";
    }
    return {};
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

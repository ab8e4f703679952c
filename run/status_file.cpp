#include "run/status_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "run/process_state.h"

namespace varnel {

namespace {

std::string Failure(const std::string& path, const std::string& what, int error) {
    return "The status file " + path + " could not be " + what + ": " + std::strerror(error);
}

}  // namespace

bool SetStatusFileName(ProcessState& state, const std::string& path) {
    state.StatusFileName = path;
    return true;
}

bool WriteJobStatus(const ProcessState& state, const std::string& word) {
    std::string reason;
    return WriteJobStatus(state, word, reason);
}

bool WriteJobStatus(const ProcessState& state, const std::string& word, std::string& reason) {
    const std::string& path = state.StatusFileName;
    reason.clear();
    if (path.empty()) return false;
    // Each step is checked: a scheduler that reads a stale word would take a failed
    // run for a good one. A full disk shows at the write or at the close.
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (file < 0) {
        reason = Failure(path, "opened", errno);
        return false;
    }
    const std::string text = word + "\r\n";
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = ::write(file, text.data() + written, text.size() - written);
        if (count < 0) {
            if (errno == EINTR) continue;
            reason = Failure(path, "written", errno);
            ::close(file);
            return false;
        }
        written += static_cast<std::size_t>(count);
    }
    if (::close(file) != 0) {
        reason = Failure(path, "written", errno);
        return false;
    }
    return true;
}

}  // namespace varnel

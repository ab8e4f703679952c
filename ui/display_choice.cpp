#include "ui/display_choice.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>

#include "base/environment.h"

namespace varnel {

namespace {

// xcb_connect in a child process: a server that takes the connection and never
// greets would hold it for ever, and a time-out cannot interrupt it otherwise.
bool HandshakeWithin(const std::string& display, std::chrono::milliseconds timeout) {
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
        ::_exit(xcb_connection_has_error(connection) == 0 ? 0 : 1);
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    for (;;) {
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (ended < 0 && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return false;
}

}  // namespace

bool DisplayAnswers(const std::string& display, std::chrono::milliseconds timeout) {
    if (display.empty()) return false;
    char* host = nullptr;
    int number = 0;
    int screen = 0;
    if (!xcb_parse_display(display.c_str(), &host, &number, &screen)) return false;
    std::free(host);
    // The full handshake, authorization included: an open socket whose server
    // refuses this process is no display either.
    return HandshakeWithin(display, timeout);
}

bool WaylandAnswers(const std::string& name, const std::string& runtimeDir) {
    if (name.empty()) return false;
    if (name.front() != '/' && runtimeDir.empty()) return false;
    const std::string path = name.front() == '/' ? name : runtimeDir + "/" + name;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::copy(path.begin(), path.end(), address.sun_path);
    // Never waits: a compositor that cannot take the connection at once answers not.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    const bool answered =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return answered;
}

DisplayChoice ChooseDisplay(const std::string& display) {
    if (DisplayAnswers(display)) return {"xcb", false};
    return {"offscreen", true};
}

DisplayChoice ChooseDisplay() {
    return ChooseDisplay(EnvironmentValue("DISPLAY"));
}

}  // namespace varnel

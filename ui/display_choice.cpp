#include "ui/display_choice.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

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

DisplayChoice ChooseDisplay(const std::string& display) {
    if (DisplayAnswers(display)) return {"xcb", false};
    return {"offscreen", true};
}

DisplayChoice ChooseDisplay() {
    return ChooseDisplay(EnvironmentValue("DISPLAY"));
}

}  // namespace varnel

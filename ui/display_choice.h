#pragma once

#include <chrono>
#include <string>

namespace varnel {

//! Where an unattended run shows its progress.
struct DisplayChoice {
    //! The Qt platform to start with: "xcb" or "offscreen".
    std::string Platform;
    //! True when no display answers: the run shows the console progress instead of
    //! the window.
    bool ConsoleProgress = false;
};

//! The platforms "xcb;offscreen", tried in that order: xcb when the display named
//! (the value of DISPLAY) answers, else offscreen with the console progress. A
//! display that is set but cannot be reached, as under cron or an ssh session
//! without forwarding, never reaches Qt, which would end the process.
DisplayChoice ChooseDisplay(const std::string& display);
//! The choice for this process's DISPLAY.
DisplayChoice ChooseDisplay();

//! True when an X server answers at the display named and accepts this process
//! (its authorization included) within the time-out. Call it before the process
//! starts threads: the handshake runs in a child process, so that a server that
//! never answers cannot hold the caller.
bool DisplayAnswers(const std::string& display,
                    std::chrono::milliseconds timeout = std::chrono::seconds(3));

//! True when the Wayland compositor's socket accepts a connection: `name` is the
//! value of WAYLAND_DISPLAY, a socket in `runtimeDir` (XDG_RUNTIME_DIR) or an
//! absolute path. A socket left behind by a compositor that has ended answers not.
bool WaylandAnswers(const std::string& name, const std::string& runtimeDir);

}  // namespace varnel

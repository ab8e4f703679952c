#pragma once

// The desktop side of start-up: the Qt application, the main window's session and
// the window that shows an unattended run's progress.

#include <memory>
#include <string>
#include <vector>

#include "run/command_line.h"

class QApplication;

namespace varnel {

class Choosers;
class ProcessState;

//! Readies the running QApplication for the tool's windows: the last window that
//! closes does not end it (the progress window or a message box closing while the
//! main window is hidden); a session ends when its main window unloads.
void PrepareApplication();

//! The main window's session in the running QApplication, with the state's prompter:
//! the Qt progress window is installed, frmMain opens in the state's mode and the
//! event loop runs until the window unloads. The progress window goes with it.
//! Returns the exit status: 0, or 1 in configuration mode when no line was written.
int RunWindowSession(ProcessState& state, Choosers& choosers);

//! The desktop of the process. It makes the QApplication only when a window is to
//! open, with the program name and the platform as its only arguments: the rest of
//! the command line is the tool's own and never reaches Qt.
class Desktop {
  public:
    explicit Desktop(std::string program);
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    //! The main window with Qt's message boxes and file choosers. 1, with the reason on
    //! standard error, when no display answers.
    int Session(ProcessState& state, StartMode mode);
    //! Before an unattended run: the Qt progress window when a display answers; the
    //! console progress stays otherwise. Never ends the process.
    void PrepareRun(ProcessState& state);

  private:
    //! The application on the platforms given ("xcb;offscreen" tries both in turn).
    void MakeApplication(const std::string& platforms);

    std::vector<std::string> arguments_;
    std::vector<char*> argv_;
    int argc_ = 0;
    std::unique_ptr<QApplication> application_;
};

}  // namespace varnel

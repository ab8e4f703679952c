#pragma once

namespace varnel {

//! What the run driver asks of the main window in an interactive session.
class MainWindowHost {
  public:
    virtual ~MainWindowHost() = default;
    virtual void ShowMainWindow() = 0;
    virtual void HideMainWindow() = 0;
};

//! The main window of the process; nullptr in an unattended run.
inline MainWindowHost* MainWindow = nullptr;

}  // namespace varnel

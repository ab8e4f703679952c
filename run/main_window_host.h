#pragma once

namespace varnel {

//! What the run driver asks of the main window in an interactive session.
class MainWindowHost {
  public:
    virtual ~MainWindowHost() = default;
    virtual void ShowMainWindow() = 0;
    virtual void HideMainWindow() = 0;
};

}  // namespace varnel

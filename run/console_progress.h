#pragma once

#include <cstdio>
#include <string>

#include "run/progress_window.h"

namespace varnel {

//! Routes SIGINT and SIGTERM to the cancel flag of the run's window and to a watcher
//! thread that cancels the statement in progress while a task runs.
void InstallCancelSignalHandlers();
//! True once SIGINT or SIGTERM arrived since the handlers were installed.
bool CancelSignalled();
//! The name of the signal that asked the run to stop ("SIGTERM", "SIGINT"); empty when none did.
std::string CancelSignalName();

//! When a signal reached the run, as its log line tells.
enum class SignalMoment {
    BeforeAnyTask,  //!< before the tasks started: nothing was changed
    DuringTask,     //!< while a task's statement ran: that statement was rolled back
    AfterTask,      //!< after a task's last statement: that task's work stands
    AfterAllWork,   //!< after every task had finished: all the work stands
};
//! The log line that records the signal, and whether the work it met was committed.
std::string SignalLine(SignalMoment moment);
//! Forgets a signal that arrived (each run starts without one).
void ClearCancelSignal();

//! The progress display of an unattended run without a desktop: task rows, the
//! comment and the percentage on standard error when it is a terminal, nothing
//! otherwise. A SIGINT or SIGTERM counts as pressing Cancel.
class ConsoleProgressWindow : public ProgressWindow {
  public:
    //! Shows progress on the stream when it is a terminal (stderr by default).
    explicit ConsoleProgressWindow(std::FILE* stream = stderr);
    //! Shows progress on the stream or not, as told.
    ConsoleProgressWindow(std::FILE* stream, bool display);
    ~ConsoleProgressWindow() override;

    bool CancelPressed() const override;

    void Comment(const std::string& text) override;
    void ProgressVal(std::int32_t value) override;
    void ProgressMax(float maximum) override;
    void TaskCaption(std::size_t index, const std::string& caption) override;
    void ShowCheckMark(std::size_t index) override;
    void PrimaryTableLabel(const std::string& text) override;
    void ForeignTableLabel(const std::string& text) override;
    void Show() override;
    void Unload() override;
    void ProcessEvents() override;

    using ProgressWindow::Comment;
    using ProgressWindow::ForeignTableLabel;
    using ProgressWindow::PrimaryTableLabel;
    using ProgressWindow::ProgressMax;
    using ProgressWindow::ProgressVal;
    using ProgressWindow::TaskCaption;

  protected:
    bool InputPending() override { return CancelSignalled(); }

  private:
    void DrawStatus();
    void EndStatusLine();

    std::FILE* stream_;
    bool display_;
    bool statusShown_ = false;
    int lastPercent_ = -1;
};

}  // namespace varnel

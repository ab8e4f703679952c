#pragma once

#include <QPointer>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "run/process_state.h"
#include "run/progress_window.h"

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

namespace varnel {

class ProgressForm;
class InputWatcher;

//! The progress window on the desktop: the run's state kept by ProgressWindow,
//! mirrored onto Qt widgets placed by absolute geometry (a layout's minimum sizes
//! would stop the window from shrinking when a frame is hidden).
//!
//! ProgIndFrame holds OverallProgFrame and DetectProgFrame at the same top, one of
//! them shown at a time, with prgProgress under them: hiding either frame moves the
//! bar, the buttons and the window's bottom up by the frame's height.
class FrmProgress : public ProgressWindow {
  public:
    //! How often a poll lets window events run when no input was seen.
    static constexpr std::chrono::milliseconds kDefaultPumpInterval{100};

    //! A window of the process whose state is given; OK unloads it from there.
    explicit FrmProgress(ProcessState& state,
                         std::chrono::milliseconds pumpInterval = kDefaultPumpInterval);
    ~FrmProgress() override;
    FrmProgress(const FrmProgress&) = delete;
    FrmProgress& operator=(const FrmProgress&) = delete;

    //! The top-level window; it outlives an unloaded FrmProgress until Qt deletes it.
    QWidget* Form() const;

    bool CancelPressed() const override;
    void PressCancel() override;

    void Comment(const std::string& text) override;
    void ProgressVal(std::int32_t value) override;
    void ProgressMin(float minimum) override;
    void ProgressMax(float maximum) override;

    void EnableObject(ProgressControl control) override;
    void DisableObject(ProgressControl control) override;

    void HideFrame(ProgressFrame frame) override;
    void ShowFrame(ProgressFrame frame) override;
    void RemoveProgIndicator() override;

    void ProcessEvents() override;
    void Refresh() override;

    void AddTaskRow(const std::string& caption, std::int16_t& index) override;
    void TaskCaption(std::size_t index, const std::string& caption) override;
    void ShowCheckMark(std::size_t index) override;

    void ServerLabel(const std::string& text) override;
    void DatabaseLabel(const std::string& text) override;
    void StartTimeLabel(const std::string& text) override;
    void EndTimeLabel(const std::string& text) override;
    void PrimaryTableLabel(const std::string& text) override;
    void ForeignTableLabel(const std::string& text) override;

    //! Shows the window, centred on its screen.
    void Show() override;
    //! Hides the window and hands its widgets to Qt for deletion.
    void Unload() override;

    //! Unloads the window; outside command-line mode the main window comes back.
    void cmdOK_Click();
    //! Sets the cancel flag; the tasks stop at their next poll.
    void cmdCancel_Click();

    using ProgressWindow::Comment;
    using ProgressWindow::DatabaseLabel;
    using ProgressWindow::EndTimeLabel;
    using ProgressWindow::ForeignTableLabel;
    using ProgressWindow::PrimaryTableLabel;
    using ProgressWindow::ProgressMax;
    using ProgressWindow::ProgressMin;
    using ProgressWindow::ProgressVal;
    using ProgressWindow::ServerLabel;
    using ProgressWindow::StartTimeLabel;
    using ProgressWindow::TaskCaption;

    QGroupBox* Frame1 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* lblServer = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* lblDatabase = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lblStartTime = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* lblEndTime = nullptr;
    QGroupBox* Frame3 = nullptr;
    std::vector<QLabel*> lblTaskName;
    std::vector<QLabel*> imgChecked;
    QGroupBox* ProgIndFrame = nullptr;
    QGroupBox* OverallProgFrame = nullptr;
    QLabel* lblComment = nullptr;
    QGroupBox* DetectProgFrame = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* lblPrimaryTable = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* lblForeignTable = nullptr;
    QProgressBar* prgProgress = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

  protected:
    //! True when a mouse or key event reached the window since the last poll, or a
    //! signal asked to cancel. Window events run at most once per pump interval to
    //! find out; the poll stays cheap for tasks that call it once per row.
    bool InputPending() override;

  private:
    friend class ProgressForm;
    friend class InputWatcher;

    void BuildControls();
    QGroupBox* FrameWidget(ProgressFrame frame) const;
    QPushButton* Button(ProgressControl control) const;
    void MoveBy(QWidget* widget, int dy) const;
    void ShowBar();
    void SetElided(QLabel* label, const std::string& text) const;
    void TitleBarClose();
    void NoteInput() { inputSeen_ = true; }
    void PumpEvents();

    ProcessState& state_;
    // The window while loaded; the guard follows it until Qt deletes it.
    ProgressForm* form_;
    QPointer<QWidget> formGuard_;
    std::unique_ptr<InputWatcher> watcher_;
    std::chrono::milliseconds pumpInterval_;
    std::chrono::steady_clock::time_point lastPump_{};
    bool inputSeen_ = false;
    bool unloaded_ = false;
};

}  // namespace varnel

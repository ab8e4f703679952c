#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "run/run_settings.h"

namespace varnel {

class ProcessState;

//! The frames of the progress window that tasks hide and show.
enum class ProgressFrame { OverallProgFrame, DetectProgFrame, ProgIndFrame };

//! The buttons of the progress window.
enum class ProgressControl { cmdOK, cmdCancel };

//! The window that shows a run's tasks, a comment, a progress bar and Cancel.
//! The tasks and the run driver talk to it through these members only. This base
//! keeps the state and shows nothing; a desktop window or a console display derives
//! from it and mirrors each change.
class ProgressWindow {
  public:
    virtual ~ProgressWindow() = default;

    //! The cancel flag; once set it stays set for the life of the window.
    virtual bool CancelPressed() const { return cancelPressed_; }
    //! What pressing Cancel does: sets the flag, nothing else.
    virtual void PressCancel() { cancelPressed_ = true; }

    virtual void Comment(const std::string& text) { comment_ = text; }
    const std::string& Comment() const { return comment_; }

    //! The bar's value, rounded.
    virtual std::int32_t ProgressVal() const;
    virtual void ProgressVal(std::int32_t value) { value_ = static_cast<float>(value); }
    virtual void ProgressMin(float minimum) { minimum_ = minimum; }
    virtual void ProgressMax(float maximum) { maximum_ = maximum; }
    float ProgressMin() const { return minimum_; }
    float ProgressMax() const { return maximum_; }

    virtual void EnableObject(ProgressControl control);
    virtual void DisableObject(ProgressControl control);
    bool Enabled(ProgressControl control) const;

    virtual void HideFrame(ProgressFrame frame);
    virtual void ShowFrame(ProgressFrame frame);
    bool FrameVisible(ProgressFrame frame) const;
    virtual void RemoveProgIndicator() { HideFrameState(ProgressFrame::ProgIndFrame); }

    //! Lets pending events run when input is waiting; answers the cancel flag then,
    //! and False without looking when nothing is waiting.
    virtual bool CheckCancelState();
    //! Lets pending window events run.
    virtual void ProcessEvents() {}
    //! Redraws the window.
    virtual void Refresh() {}

    virtual void Settings(const RunSettings& settings) { settings_ = settings; }
    const RunSettings& Settings() const { return settings_; }

    //! Adds one task row captioned as given at the index, then adds 1 to the index.
    virtual void AddTaskRow(const std::string& caption, std::int16_t& index);
    std::size_t TaskRowCount() const { return taskCaptions_.size(); }
    const std::string& TaskCaption(std::size_t index) const { return taskCaptions_.at(index); }
    virtual void TaskCaption(std::size_t index, const std::string& caption);
    //! Shows the check mark of a task row.
    virtual void ShowCheckMark(std::size_t index);
    bool CheckMarkVisible(std::size_t index) const { return checkMarks_.at(index); }

    virtual void ServerLabel(const std::string& text) { server_ = text; }
    virtual void DatabaseLabel(const std::string& text) { database_ = text; }
    virtual void StartTimeLabel(const std::string& text) { startTime_ = text; }
    virtual void EndTimeLabel(const std::string& text) { endTime_ = text; }
    virtual void PrimaryTableLabel(const std::string& text) { primaryTable_ = text; }
    virtual void ForeignTableLabel(const std::string& text) { foreignTable_ = text; }
    const std::string& ServerLabel() const { return server_; }
    const std::string& DatabaseLabel() const { return database_; }
    const std::string& StartTimeLabel() const { return startTime_; }
    const std::string& EndTimeLabel() const { return endTime_; }
    const std::string& PrimaryTableLabel() const { return primaryTable_; }
    const std::string& ForeignTableLabel() const { return foreignTable_; }

    //! Makes the window visible (modeless).
    virtual void Show() {}
    //! Closes the window; a closed window is no longer the run's window.
    virtual void Unload() {}

  protected:
    //! True when mouse or keyboard input waits for the window; a display overrides it.
    virtual bool InputPending() { return false; }
    void HideFrameState(ProgressFrame frame);

  private:
    bool cancelPressed_ = false;
    std::string comment_;
    float minimum_ = 0;
    float maximum_ = 100;
    float value_ = 0;
    bool okEnabled_ = true;
    bool cancelEnabled_ = true;
    bool frameVisible_[3] = {true, true, true};
    RunSettings settings_;
    std::vector<std::string> taskCaptions_;
    std::vector<bool> checkMarks_;
    std::string server_, database_, startTime_, endTime_, primaryTable_, foreignTable_;
};

//! Fills a new window as it loads: server and database of the warehouse
//! connection, start time, OK disabled, the detection frame hidden and one row per
//! requested task.
void LoadProgressWindow(ProcessState& state, ProgressWindow& window);

//! Sets the window's bar for a task of that many steps: from 0 to the count, or
//! full (1 of 1) when there is nothing to step through.
void StartProgressBar(ProgressWindow& window, std::int64_t steps);
//! Puts the window's bar back to 0 and empties the comment, at a task's end.
void ResetProgressBar(ProgressWindow& window);

//! The task row captions, in row order, of the tasks the settings ask for.
std::vector<std::string> TaskRowCaptions(const RunSettings& settings);

//! Makes the window that a run shows; see ProcessState::MakeProgressWindow.
using ProgressWindowFactory = std::function<std::unique_ptr<ProgressWindow>()>;

}  // namespace varnel

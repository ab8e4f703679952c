#pragma once

// Stand-ins for the window and the clock, and a fixture that gives every test the
// process-wide values of a fresh process.

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver/run_driver.h"
#include "run/process_state.h"
#include "run/progress_window.h"
#include "run/prompter.h"
#include "run/task_context.h"
#include "tests/support/scoped_env.h"
#include "tests/support/state_test.h"
#include "tests/support/temp_dir.h"

namespace varnel::testing {

//! Answers questions from a script (No when it runs out) and records every box.
class ScriptedPrompter : public Prompter {
  public:
    struct Box {
        std::string Text;
        int Style = 0;
        std::string Title;
    };

    void ShowMessage(const std::string& text, int style, const std::string& title) override {
        Boxes.push_back({text, style, title});
    }
    bool AskYesNo(const std::string& text, const std::string& title) override;

    std::deque<bool> Answers;
    //! Called while a question is open, before it is answered.
    std::function<void()> WhileAsking;
    std::vector<Box> Boxes;
};

//! What a test window saw, kept after the run unloaded the window.
struct WindowRecord {
    std::vector<bool> CheckMarks;
    std::vector<std::string> Comments;
    bool Unloaded = false;
    bool CancelPressed = false;
    bool CancelEnabled = true;
    std::int32_t Polls = 0;
};

//! A progress window whose Cancel is pressed after a given number of polls.
class TestProgressWindow : public ProgressWindow {
  public:
    TestProgressWindow(std::shared_ptr<WindowRecord> record, int cancelAfterPolls)
        : record_(std::move(record)), cancelAfterPolls_(cancelAfterPolls) {}

    bool CheckCancelState() override;
    void PressCancel() override;
    void Comment(const std::string& text) override;
    void Unload() override { record_->Unloaded = true; }
    void ShowCheckMark(std::size_t index) override;
    void AddTaskRow(const std::string& caption, std::int16_t& index) override;
    void EnableObject(ProgressControl control) override { Enable(control, true); }
    void DisableObject(ProgressControl control) override { Enable(control, false); }

    using ProgressWindow::Comment;

  private:
    void Enable(ProgressControl control, bool on);

    std::shared_ptr<WindowRecord> record_;
    int cancelAfterPolls_;
};

//! The state's clock while it lives: says the time it was set to and moves only when told.
class FixedClock {
  public:
    FixedClock(ProcessState& state, Timestamp start) : state_(state) {
        state_.Clock = [now = now_] { return *now; };
        *now_ = start;
    }
    ~FixedClock() { state_.Clock = nullptr; }
    void Set(Timestamp t) { *now_ = t; }

  private:
    ProcessState& state_;
    std::shared_ptr<Timestamp> now_ = std::make_shared<Timestamp>();
};

//! A fresh process state with a scripted prompter, test windows and a private
//! job history in the test's own folder.
class RunTest : public StateTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    //! Test windows press Cancel after this many polls (never when negative).
    void CancelAfterPolls(int polls) { cancelAfterPolls_ = polls; }
    const WindowRecord& Window() const { return *window_; }
    std::string HistoryPath() const { return dir_.File("history.db"); }

    //! A new task context as the run driver makes it: the loaded window (a silent one
    //! when none is) and the warehouse's dialect.
    TaskContext& Context(RunSettings& settings, LogStream* log = nullptr,
                         const std::string& logPath = "");
    TaskContext& Context() { return Context(taskSettings_); }

    TempDir dir_;
    ScriptedPrompter prompter_;
    RunSettings taskSettings_;

  private:
    ScopedEnv history_{"VARNEL_HISTORY", HistoryPath().c_str()};
    ProgressWindow silentWindow_;
    std::optional<TaskContext> context_;
    std::shared_ptr<WindowRecord> window_ = std::make_shared<WindowRecord>();
    int cancelAfterPolls_ = -1;
};

//! A task for the task table that does what the test says.
inline RunTask TestTask(bool RunSettings::*flag, std::function<bool(TaskContext&)> run,
                        const std::string& name) {
    return RunTask{flag, name + " cancelled.", "Error in " + name + ".", std::move(run)};
}

}  // namespace varnel::testing

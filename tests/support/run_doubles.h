#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>

#include "driver/run_driver.h"
#include "run/prompter.h"
#include "run/task_context.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "warehouse/sql_dialect.h"

namespace varnel::testing {

//! Every test starts from a fresh process's values: a state of its own.
class StateTest : public ::testing::Test {
  protected:
    ProcessState state_;
};

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
    bool AskYesNo(const std::string& text, const std::string& title) override {
        Boxes.push_back({text, 0, title});
        if (WhileAsking) WhileAsking();
        const bool answer = !Answers.empty() && Answers.front();
        if (!Answers.empty()) Answers.pop_front();
        return answer;
    }

    std::deque<bool> Answers;
    std::function<void()> WhileAsking;  // called before the answer
    std::vector<Box> Boxes;
};

//! What a test window saw, kept after the run unloaded the window.
struct WindowRecord {
    std::vector<bool> CheckMarks;
    std::vector<std::string> Comments;
    bool Unloaded = false, CancelPressed = false, CancelEnabled = true;
    std::int32_t Polls = 0;
};

//! A progress window whose Cancel is pressed after a number of polls (never when negative).
class TestProgressWindow : public ProgressWindow {
  public:
    TestProgressWindow(std::shared_ptr<WindowRecord> record, int cancelAfterPolls)
        : record_(std::move(record)), cancelAfterPolls_(cancelAfterPolls) {}

    bool CheckCancelState() override {
        if (++record_->Polls > cancelAfterPolls_ && cancelAfterPolls_ >= 0) PressCancel();
        return CancelPressed();
    }
    void PressCancel() override {
        ProgressWindow::PressCancel();
        record_->CancelPressed = true;
    }
    void Comment(const std::string& text) override {
        ProgressWindow::Comment(text);
        record_->Comments.push_back(text);
    }
    void Unload() override { record_->Unloaded = true; }
    void ShowCheckMark(std::size_t index) override {
        ProgressWindow::ShowCheckMark(index);
        record_->CheckMarks.at(index) = true;
    }
    void AddTaskRow(const std::string& caption, std::int16_t& index) override {
        ProgressWindow::AddTaskRow(caption, index);
        record_->CheckMarks.push_back(false);
    }
    void EnableObject(ProgressControl control) override {
        ProgressWindow::EnableObject(control);
        record_->CancelEnabled |= control == ProgressControl::cmdCancel;
    }
    void DisableObject(ProgressControl control) override {
        ProgressWindow::DisableObject(control);
        record_->CancelEnabled &= control != ProgressControl::cmdCancel;
    }

    using ProgressWindow::Comment;

  private:
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

//! A fresh process state with a scripted prompter, test windows and a private job history.
class RunTest : public StateTest {
  protected:
    void SetUp() override {
        state_.SetPrompter(&prompter_);
        state_.SetProgressWindowFactory([this]() -> std::unique_ptr<ProgressWindow> {
            return std::make_unique<TestProgressWindow>(window_, cancelAfterPolls_);
        });
    }
    void TearDown() override {  // while the test's folder still stands
        context_.reset();
        state_.Reset();
    }

    void CancelAfterPolls(int polls) { cancelAfterPolls_ = polls; }
    const WindowRecord& Window() const { return *window_; }
    std::string HistoryPath() const { return dir_.File("history.db"); }

    //! A task context as the run driver makes it: the loaded window (or a silent one).
    TaskContext& Context(RunSettings& settings, LogStream* log = nullptr,
                         const std::string& logPath = "") {
        ProgressWindow* window = state_.ActiveProgressWindow();
        const SqlDialect& dialect = state_.WarehouseConnection
                                        ? state_.WarehouseConnection->Dialect()
                                        : DialectFor(Engine::Sqlite);
        context_.reset();
        return context_.emplace(
            TaskContext{state_, settings, dialect, window ? *window : silentWindow_, log, logPath});
    }
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

inline RunTask TestTask(bool RunSettings::*flag, std::function<bool(TaskContext&)> run,
                        const std::string& name) {
    return RunTask{flag, name + " cancelled.", "Error in " + name + ".", std::move(run)};
}

}  // namespace varnel::testing

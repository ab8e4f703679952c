#include "tests/support/run_doubles.h"

#include <cstdlib>

#include "warehouse/sql_dialect.h"

namespace varnel::testing {

void ScriptedPrompter::ShowMessage(const std::string& text, int style, const std::string& title) {
    Boxes.push_back({text, style, title, false});
}

bool ScriptedPrompter::AskYesNo(const std::string& text, const std::string& title) {
    Boxes.push_back({text, 0, title, true});
    if (WhileAsking) WhileAsking();
    if (Answers.empty()) return false;
    const bool answer = Answers.front();
    Answers.pop_front();
    return answer;
}

TestProgressWindow::TestProgressWindow(std::shared_ptr<WindowRecord> record, int cancelAfterPolls)
    : record_(std::move(record)), cancelAfterPolls_(cancelAfterPolls) {}

bool TestProgressWindow::CheckCancelState() {
    ++record_->Polls;
    if (cancelAfterPolls_ >= 0 && record_->Polls > cancelAfterPolls_) PressCancel();
    return CancelPressed();
}

void TestProgressWindow::PressCancel() {
    ProgressWindow::PressCancel();
    record_->CancelPressed = true;
}

void TestProgressWindow::Comment(const std::string& text) {
    ProgressWindow::Comment(text);
    record_->Comments.push_back(text);
}

void TestProgressWindow::Unload() {
    record_->Unloaded = true;
}

void TestProgressWindow::ShowCheckMark(std::size_t index) {
    ProgressWindow::ShowCheckMark(index);
    record_->CheckMarks.at(index) = true;
}

void TestProgressWindow::TaskCaption(std::size_t index, const std::string& caption) {
    ProgressWindow::TaskCaption(index, caption);
    record_->TaskCaptions.at(index) = caption;
}

void TestProgressWindow::AddTaskRow(const std::string& caption, std::int16_t& index) {
    ProgressWindow::AddTaskRow(caption, index);
    record_->TaskCaptions.push_back(caption);
    record_->CheckMarks.push_back(false);
}

void TestProgressWindow::EnableObject(ProgressControl control) {
    ProgressWindow::EnableObject(control);
    (control == ProgressControl::cmdOK ? record_->OkEnabled : record_->CancelEnabled) = true;
}

void TestProgressWindow::DisableObject(ProgressControl control) {
    ProgressWindow::DisableObject(control);
    (control == ProgressControl::cmdOK ? record_->OkEnabled : record_->CancelEnabled) = false;
}

void TestProgressWindow::RemoveProgIndicator() {
    ProgressWindow::RemoveProgIndicator();
    record_->ProgressIndicatorShown = false;
}

void TestProgressWindow::EndTimeLabel(const std::string& text) {
    ProgressWindow::EndTimeLabel(text);
    record_->EndTime = text;
}

FixedClock::FixedClock(ProcessState& state, Timestamp start)
    : state_(state), now_(std::make_shared<Timestamp>(start)) {
    state_.Clock = [now = now_] { return *now; };
}

FixedClock::~FixedClock() {
    state_.Clock = nullptr;
}

void RunTest::SetUp() {
    state_.SetPrompter(&prompter_);
    state_.SetProgressWindowFactory([this]() -> std::unique_ptr<ProgressWindow> {
        return std::make_unique<TestProgressWindow>(window_, cancelAfterPolls_);
    });
    if (const char* old = std::getenv("VARNEL_HISTORY")) {
        hadHistory_ = true;
        oldHistory_ = old;
    }
    setenv("VARNEL_HISTORY", HistoryPath().c_str(), 1);
}

void RunTest::TearDown() {
    // The windows and connections go while the test's folder still stands.
    context_.reset();
    state_.Reset();
    if (hadHistory_)
        setenv("VARNEL_HISTORY", oldHistory_.c_str(), 1);
    else
        unsetenv("VARNEL_HISTORY");
}

TaskContext& RunTest::Context(RunSettings& settings, LogStream* log, const std::string& logPath) {
    ProgressWindow* window = state_.ActiveProgressWindow();
    const SqlDialect& dialect = state_.WarehouseConnection ? state_.WarehouseConnection->Dialect()
                                                           : DialectFor(Engine::Sqlite);
    context_.reset();
    return context_.emplace(
        TaskContext{state_, settings, dialect, window ? *window : silentWindow_, log, logPath});
}

RunTask TestTask(bool RunSettings::*flag, std::function<bool(TaskContext&)> run,
                 const std::string& name) {
    return RunTask{flag, name + " cancelled.", "Error in " + name + ".", std::move(run)};
}

}  // namespace varnel::testing

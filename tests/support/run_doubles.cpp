#include "tests/support/run_doubles.h"

#include "warehouse/sql_dialect.h"

namespace varnel::testing {

bool ScriptedPrompter::AskYesNo(const std::string& text, const std::string& title) {
    Boxes.push_back({text, 0, title});
    if (WhileAsking) WhileAsking();
    if (Answers.empty()) return false;
    const bool answer = Answers.front();
    Answers.pop_front();
    return answer;
}

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

void TestProgressWindow::ShowCheckMark(std::size_t index) {
    ProgressWindow::ShowCheckMark(index);
    record_->CheckMarks.at(index) = true;
}

void TestProgressWindow::AddTaskRow(const std::string& caption, std::int16_t& index) {
    ProgressWindow::AddTaskRow(caption, index);
    record_->CheckMarks.push_back(false);
}

void TestProgressWindow::Enable(ProgressControl control, bool on) {
    if (on)
        ProgressWindow::EnableObject(control);
    else
        ProgressWindow::DisableObject(control);
    if (control == ProgressControl::cmdCancel) record_->CancelEnabled = on;
}

void RunTest::SetUp() {
    state_.SetPrompter(&prompter_);
    state_.SetProgressWindowFactory([this]() -> std::unique_ptr<ProgressWindow> {
        return std::make_unique<TestProgressWindow>(window_, cancelAfterPolls_);
    });
}

void RunTest::TearDown() {
    // The windows and connections go while the test's folder still stands.
    context_.reset();
    state_.Reset();
}

TaskContext& RunTest::Context(RunSettings& settings, LogStream* log, const std::string& logPath) {
    ProgressWindow* window = state_.ActiveProgressWindow();
    const SqlDialect& dialect = state_.WarehouseConnection ? state_.WarehouseConnection->Dialect()
                                                           : DialectFor(Engine::Sqlite);
    context_.reset();
    return context_.emplace(
        TaskContext{state_, settings, dialect, window ? *window : silentWindow_, log, logPath});
}

}  // namespace varnel::testing

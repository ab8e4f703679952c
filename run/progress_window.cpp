#include "run/progress_window.h"

#include <cmath>

#include "base/clock.h"
#include "base/text.h"
#include "run/console_progress.h"
#include "warehouse/connections.h"
#include "warehouse/database_access.h"

namespace varnel {

namespace {

std::size_t FrameIndex(ProgressFrame frame) {
    return static_cast<std::size_t>(frame);
}

std::unique_ptr<ProgressWindow>& Active() {
    static std::unique_ptr<ProgressWindow> window;
    return window;
}

ProgressWindowFactory& Factory() {
    static ProgressWindowFactory factory;
    return factory;
}

}  // namespace

std::int32_t ProgressWindow::ProgressVal() const {
    return static_cast<std::int32_t>(std::lround(value_));
}

void ProgressWindow::EnableObject(ProgressControl control) {
    (control == ProgressControl::cmdOK ? okEnabled_ : cancelEnabled_) = true;
}

void ProgressWindow::DisableObject(ProgressControl control) {
    (control == ProgressControl::cmdOK ? okEnabled_ : cancelEnabled_) = false;
}

bool ProgressWindow::Enabled(ProgressControl control) const {
    return control == ProgressControl::cmdOK ? okEnabled_ : cancelEnabled_;
}

void ProgressWindow::HideFrameState(ProgressFrame frame) {
    frameVisible_[FrameIndex(frame)] = false;
}

void ProgressWindow::HideFrame(ProgressFrame frame) {
    HideFrameState(frame);
}

void ProgressWindow::ShowFrame(ProgressFrame frame) {
    frameVisible_[FrameIndex(frame)] = true;
}

bool ProgressWindow::FrameVisible(ProgressFrame frame) const {
    return frameVisible_[FrameIndex(frame)];
}

bool ProgressWindow::CheckCancelState() {
    // Events are processed only when input waits: the poll must stay cheap, since
    // tasks call it once per row.
    if (!InputPending()) return false;
    ProcessEvents();
    return CancelPressed();
}

void ProgressWindow::AddTaskRow(const std::string& caption, std::int16_t& index) {
    const auto row = static_cast<std::size_t>(index);
    if (taskCaptions_.size() <= row) {
        taskCaptions_.resize(row + 1);
        checkMarks_.resize(row + 1, false);
    }
    taskCaptions_[row] = caption;
    ++index;
}

void ProgressWindow::TaskCaption(std::size_t index, const std::string& caption) {
    taskCaptions_.at(index) = caption;
}

void ProgressWindow::ShowCheckMark(std::size_t index) {
    checkMarks_.at(index) = true;
}

void StartProgressBar(std::int64_t steps) {
    ProgressWindow* window = ActiveProgressWindow();
    if (!window) return;
    window->ProgressMin(0);
    if (steps < 1) {
        window->ProgressMax(1);
        window->ProgressVal(1);
    } else {
        window->ProgressMax(static_cast<float>(steps));
        window->ProgressVal(0);
    }
}

void ResetProgressBar() {
    ProgressWindow* window = ActiveProgressWindow();
    if (!window) return;
    window->ProgressVal(0);
    window->Comment("");
    window->Refresh();
}

std::vector<std::string> TaskRowCaptions(const RunSettings& settings) {
    std::vector<std::string> captions;
    if (settings.CheckMetadata) captions.emplace_back("Check metadata");
    if (settings.ArchiveFacts) captions.emplace_back("Archive fact table elements");
    if (settings.MarkUnused) captions.emplace_back("Detect and mark unused dimension elements");
    if (settings.GenerateReports)
        captions.emplace_back("Generate reports of marked unused dimension elements");
    if (settings.DeleteMarked) captions.emplace_back("Delete marked unused dimension elements");
    return captions;
}

void LoadProgressWindow(ProgressWindow& window) {
    if (WarehouseConnection) {
        window.ServerLabel(
            TrimBlanks(NullToText(WarehouseConnection->Property("Data Source"), "")));
        window.DatabaseLabel(TrimBlanks(WarehouseConnection->DefaultDatabase()));
    }
    const Timestamp now = Now();
    window.StartTimeLabel(FormatLongDate(now) + " " + FormatLongTime(now));
    window.DisableObject(ProgressControl::cmdOK);
    window.HideFrame(ProgressFrame::DetectProgFrame);
    std::int16_t index = 0;
    for (const auto& caption : TaskRowCaptions(window.Settings()))
        window.AddTaskRow(caption, index);
}

ProgressWindow* ActiveProgressWindow() {
    return Active().get();
}

void InstallProgressWindow(std::unique_ptr<ProgressWindow> window) {
    UnloadProgressWindow();
    Active() = std::move(window);
}

void UnloadProgressWindow() {
    // Taken out first, so that the window is no longer the run's while it closes.
    auto window = std::move(Active());
    if (window) window->Unload();
}

void SetProgressWindowFactory(ProgressWindowFactory factory) {
    Factory() = std::move(factory);
}

std::unique_ptr<ProgressWindow> MakeProgressWindow() {
    if (Factory()) return Factory()();
    return std::make_unique<ConsoleProgressWindow>();
}

}  // namespace varnel

#include "run/progress_window.h"

#include <cmath>

#include "base/clock.h"
#include "base/text.h"
#include "run/process_state.h"
#include "warehouse/database_access.h"

namespace varnel {

namespace {

std::size_t FrameIndex(ProgressFrame frame) {
    return static_cast<std::size_t>(frame);
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

void StartProgressBar(ProgressWindow& window, std::int64_t steps) {
    window.ProgressMin(0);
    if (steps < 1) {
        window.ProgressMax(1);
        window.ProgressVal(1);
    } else {
        window.ProgressMax(static_cast<float>(steps));
        window.ProgressVal(0);
    }
}

void ResetProgressBar(ProgressWindow& window) {
    window.ProgressVal(0);
    window.Comment("");
    window.Refresh();
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

void LoadProgressWindow(ProcessState& state, ProgressWindow& window) {
    if (const auto& warehouse = state.WarehouseConnection) {
        window.ServerLabel(TrimBlanks(NullToText(warehouse->Property("Data Source"), "")));
        window.DatabaseLabel(TrimBlanks(warehouse->DefaultDatabase()));
    }
    const Timestamp now = state.Now();
    window.StartTimeLabel(FormatLongDate(now) + " " + FormatLongTime(now));
    window.DisableObject(ProgressControl::cmdOK);
    window.HideFrame(ProgressFrame::DetectProgFrame);
    std::int16_t index = 0;
    for (const auto& caption : TaskRowCaptions(window.Settings()))
        window.AddTaskRow(caption, index);
}

}  // namespace varnel

#include "run/console_progress.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>

namespace varnel {

namespace {

volatile std::sig_atomic_t signalled = 0;

extern "C" void OnCancelSignal(int) { signalled = 1; }

}  // namespace

void InstallCancelSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = OnCancelSignal;
    sigemptyset(&action.sa_mask);
    // Repeated signals keep pressing Cancel: ending the process here would leave the
    // lock held and the status at "running". SIGKILL remains for a run that must die.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool CancelSignalled() { return signalled != 0; }

void ClearCancelSignal() { signalled = 0; }

ConsoleProgressWindow::ConsoleProgressWindow(std::FILE* stream)
    : ConsoleProgressWindow(stream, stream && isatty(fileno(stream))) {}

ConsoleProgressWindow::ConsoleProgressWindow(std::FILE* stream, bool display)
    : stream_(stream), display_(display && stream) {}

ConsoleProgressWindow::~ConsoleProgressWindow() { EndStatusLine(); }

void ConsoleProgressWindow::EndStatusLine() {
    if (display_ && statusShown_) {
        std::fputs("\r\033[K", stream_);
        std::fflush(stream_);
        statusShown_ = false;
    }
}

void ConsoleProgressWindow::DrawStatus() {
    if (!display_) return;
    const float span = ProgressMax() - ProgressMin();
    int percent = 0;
    if (span > 0)
        percent = static_cast<int>(std::lround(100.0 * (static_cast<float>(ProgressVal()) - ProgressMin()) / span));
    percent = std::clamp(percent, 0, 100);
    std::string line = Comment();
    if (!PrimaryTableLabel().empty() && FrameVisible(ProgressFrame::DetectProgFrame))
        line += (line.empty() ? "" : "  ") + PrimaryTableLabel() + " <- " + ForeignTableLabel();
    if (line.size() > 70) line = line.substr(0, 67) + "...";
    std::fprintf(stream_, "\r\033[K  %3d%%  %s", percent, line.c_str());
    std::fflush(stream_);
    statusShown_ = true;
    lastPercent_ = percent;
}

void ConsoleProgressWindow::Comment(const std::string& text) {
    ProgressWindow::Comment(text);
    DrawStatus();
}

void ConsoleProgressWindow::ProgressVal(std::int32_t value) {
    ProgressWindow::ProgressVal(value);
    if (!display_) return;
    // Redraw only when the shown percentage changes: tasks step the bar per row.
    const float span = ProgressMax() - ProgressMin();
    const int percent =
        span > 0 ? static_cast<int>(std::lround(100.0 * (static_cast<float>(value) - ProgressMin()) / span)) : 0;
    if (percent != lastPercent_) DrawStatus();
}

void ConsoleProgressWindow::ProgressMax(float maximum) {
    ProgressWindow::ProgressMax(maximum);
    lastPercent_ = -1;
}

void ConsoleProgressWindow::TaskCaption(std::size_t index, const std::string& caption) {
    ProgressWindow::TaskCaption(index, caption);
    if (!display_) return;
    // A caption ending in four dots is the running task.
    if (caption.size() >= 4 && caption.compare(caption.size() - 4, 4, "....") == 0) {
        EndStatusLine();
        std::fprintf(stream_, "[ ] %s\n", caption.c_str());
        std::fflush(stream_);
    }
}

void ConsoleProgressWindow::ShowCheckMark(std::size_t index) {
    ProgressWindow::ShowCheckMark(index);
    if (!display_) return;
    EndStatusLine();
    std::string caption = TaskCaption(index);
    if (caption.size() >= 4 && caption.compare(caption.size() - 4, 4, "....") == 0)
        caption.resize(caption.size() - 4);  // the dots of the running task go with it
    std::fprintf(stream_, "[x] %s\n", caption.c_str());
    std::fflush(stream_);
}

void ConsoleProgressWindow::PrimaryTableLabel(const std::string& text) {
    ProgressWindow::PrimaryTableLabel(text);
}

void ConsoleProgressWindow::ForeignTableLabel(const std::string& text) {
    ProgressWindow::ForeignTableLabel(text);
    DrawStatus();
}

void ConsoleProgressWindow::Show() {
    if (!display_) return;
    std::fprintf(stream_, "Varnel: %s / %s, started %s\n", ServerLabel().c_str(),
                 DatabaseLabel().c_str(), StartTimeLabel().c_str());
    std::fflush(stream_);
}

void ConsoleProgressWindow::Unload() { EndStatusLine(); }

void ConsoleProgressWindow::ProcessEvents() {
    if (CancelSignalled()) PressCancel();
}

}  // namespace varnel

#include "run/console_progress.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <mutex>
#include <thread>

#include "warehouse/odbc.h"

namespace varnel {

namespace {

volatile std::sig_atomic_t signalled = 0;
// The handler wakes the watcher through this pipe; -1 until the watcher runs.
volatile std::sig_atomic_t wakeWatcher = -1;

extern "C" void OnCancelSignal(int signal) {
    // Only async-signal-safe work here: the request is counted before the flag is
    // set, so that a run that sees the flag has seen the request as well.
    const int savedErrno = errno;
    RequestStatementCancel();
    signalled = signal;
    if (wakeWatcher >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(wakeWatcher, &byte, 1);
    }
    errno = savedErrno;
}

// The watcher cancels the statement in progress for each signal: a long statement
// would otherwise hold the run until it ends, however long that is.
void StartWatcher() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return;
    // A full pipe must not block the handler; the watcher then has wakes enough.
    ::fcntl(ends[1], F_SETFL, ::fcntl(ends[1], F_GETFL) | O_NONBLOCK);
    const int readEnd = ends[0];
    std::thread([readEnd] {
        char bytes[16];
        for (;;) {
            const ssize_t count = ::read(readEnd, bytes, sizeof bytes);
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) return;
            CancelRequestedStatement();
        }
    }).detach();
    wakeWatcher = ends[1];
}

}  // namespace

void InstallCancelSignalHandlers() {
    static std::once_flag watcher;
    std::call_once(watcher, StartWatcher);
    struct sigaction action {};
    action.sa_handler = OnCancelSignal;
    sigemptyset(&action.sa_mask);
    // Repeated signals keep pressing Cancel: ending the process here would leave the
    // lock held and the status at "running". SIGKILL remains for a run that must die.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool CancelSignalled() {
    return signalled != 0;
}

std::string CancelSignalName() {
    switch (signalled) {
        case 0:
            return {};
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        default:
            return "signal " + std::to_string(signalled);
    }
}

std::string SignalLine(SignalMoment moment) {
    const std::string received = "Varnel received " + CancelSignalName();
    switch (moment) {
        case SignalMoment::BeforeAnyTask:
            return received + " before any task had started: nothing was changed.";
        case SignalMoment::DuringTask:
            return received + " while a task was at work: the work in progress was rolled " +
                   "back; what the task had committed before stands.";
        case SignalMoment::AfterTask:
            return received + " after the task had committed its work, which stands; no " +
                   "later task was started.";
        case SignalMoment::AfterAllWork:
            break;
    }
    return received + " after all its work was committed, which stands; the run counts " +
           "as a failure.";
}

void ClearCancelSignal() {
    signalled = 0;
}

ConsoleProgressWindow::ConsoleProgressWindow(std::FILE* stream)
    : ConsoleProgressWindow(stream, stream && isatty(fileno(stream))) {}

ConsoleProgressWindow::ConsoleProgressWindow(std::FILE* stream, bool display)
    : stream_(stream), display_(display && stream) {}

ConsoleProgressWindow::~ConsoleProgressWindow() {
    EndStatusLine();
}

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
        percent = static_cast<int>(
            std::lround(100.0 * (static_cast<float>(ProgressVal()) - ProgressMin()) / span));
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
    const int percent = span > 0 ? static_cast<int>(std::lround(
                                       100.0 * (static_cast<float>(value) - ProgressMin()) / span))
                                 : 0;
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

void ConsoleProgressWindow::Unload() {
    EndStatusLine();
}

bool ConsoleProgressWindow::CancelPressed() const {
    // A signal is the Cancel button: a task that failed because its statement was
    // cancelled was cancelled, whether or not it polled since.
    return ProgressWindow::CancelPressed() || CancelSignalled();
}

void ConsoleProgressWindow::ProcessEvents() {
    if (!CancelSignalled()) return;
    // The run has seen the cancel and stops on its own; its clean-up runs in full.
    SettleStatementCancel();
    PressCancel();
}

}  // namespace varnel

#include "run/process_state.h"

#include "base/clock.h"
#include "run/console_progress.h"

namespace varnel {

ProcessState::~ProcessState() {
    // The window goes first: it may still show what the connections describe.
    UnloadProgressWindow();
}

void ProcessState::Reset() {
    UnloadProgressWindow();
    MessageText.clear();
    DeletionConnection.reset();
    ArchiveConnection.reset();
    WarehouseConnection.reset();
    LockHeld = false;
    LastLockUser.clear();
    LockHolder.clear();
    LockNotes.clear();
    HeldLiveLock.reset();
    CommandLineMode = false;
    ConfigMode = false;
    ConfigFileName.clear();
    CommandLineFaults.clear();
    SavedSettings = RunSettings{};
    RunStartDate = Timestamp{};
    RunStartTime = Timestamp{};
    StatusFileName.clear();
    ArchiveDate = Timestamp{};
    InstalledTasks.clear();
    MainWindow = nullptr;
    prompter_ = nullptr;
    Clock = nullptr;
    progressWindowFactory_ = nullptr;
}

void ProcessState::AppendMessageLine(const std::string& line) {
    MessageText += "\r\n";
    MessageText += line;
}

Prompter& ProcessState::CurrentPrompter() {
    return prompter_ ? *prompter_ : consolePrompter_;
}

void ProcessState::SetPrompter(Prompter* prompter) {
    prompter_ = prompter;
}

Timestamp ProcessState::Now() const {
    return Clock ? Clock() : SystemNow();
}

void ProcessState::InstallProgressWindow(std::unique_ptr<ProgressWindow> window) {
    UnloadProgressWindow();
    progressWindow_ = std::move(window);
}

void ProcessState::UnloadProgressWindow() {
    // Taken out first, so that the window is no longer the run's while it closes.
    auto window = std::move(progressWindow_);
    if (window) window->Unload();
}

void ProcessState::SetProgressWindowFactory(ProgressWindowFactory factory) {
    progressWindowFactory_ = std::move(factory);
}

std::unique_ptr<ProgressWindow> ProcessState::MakeProgressWindow() const {
    if (progressWindowFactory_) return progressWindowFactory_();
    return std::make_unique<ConsoleProgressWindow>();
}

}  // namespace varnel

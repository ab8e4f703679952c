#pragma once

// What one process shares between its runs and its windows. One instance lives for
// the life of the process and is handed down by reference; nothing of it is global,
// so that a test makes its own.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/timestamp.h"
#include "run/main_window_host.h"
#include "run/progress_window.h"
#include "run/prompter.h"
#include "run/run_settings.h"
#include "run/task_context.h"
#include "warehouse/live_lock.h"
#include "warehouse/odbc.h"

namespace varnel {

class ProcessState {
  public:
    ProcessState() = default;
    ~ProcessState();
    ProcessState(const ProcessState&) = delete;
    ProcessState& operator=(const ProcessState&) = delete;

    //! Returns every member to its start value; a loaded progress window is unloaded.
    void Reset();

    // ------------------------------------------------------------ run failures

    //! The failures of the current run, each line introduced by CR LF; a run whose
    //! text is not blank after trimming has failed.
    std::string MessageText;
    //! Appends CR LF + line to MessageText.
    void AppendMessageLine(const std::string& line);

    // ------------------------------------------------------------ connections

    //! The open warehouse connection of the run or of the main window; null when unset.
    std::unique_ptr<Connection> WarehouseConnection;
    //! The open archive connection; null when unset.
    std::unique_ptr<Connection> ArchiveConnection;
    //! The deletion task's own connection to the warehouse, which alone carries its
    //! transactions; open only while the task runs.
    std::unique_ptr<Connection> DeletionConnection;

    // ------------------------------------------------------------ the tool lock

    //! This process holds the tool lock.
    bool LockHeld = false;
    //! The user_name found by ReadLastLockUser; empty when there is no row.
    std::string LastLockUser;
    //! The user who held the lock when LockTool last found it held by another process.
    std::string LockHolder;
    //! What the last LockTool has to tell the run log, one line each: a lock taken
    //! over from a run that ended without releasing it, or why such a lock cannot be
    //! recognised on this warehouse. LockTool has no log of its own; its caller
    //! writes them.
    std::vector<std::string> LockNotes;
    //! The live lock that goes with the lock row while this process holds the row:
    //! a row that says lock 1 while nobody holds it was left by a run that died.
    std::unique_ptr<LiveLock> HeldLiveLock;

    // ------------------------------------------------------------ command line

    //! The process was started with run options (every option but -logfile sets it).
    bool CommandLineMode = false;
    //! -config was given: the main window only saves the settings as a command line.
    bool ConfigMode = false;
    std::string ConfigFileName;
    //! Why the command line itself cannot run (too many arguments, unknown options), one
    //! line each; set when the options are applied and reported by validation in an
    //! unattended run.
    std::vector<std::string> CommandLineFaults;
    //! The record the main window reads in configuration mode.
    RunSettings SavedSettings;

    // ------------------------------------------------------------ the current run

    //! When the current run started, taken once from the clock; it names the log and
    //! the report files. Both hold the same reading (date and time of day).
    Timestamp RunStartDate;
    Timestamp RunStartTime;
    //! Path of the job status file a scheduler watches; empty when none was asked for.
    std::string StatusFileName;
    //! The moment of the current archiving run; every row it archives carries it.
    Timestamp ArchiveDate;
    //! The tasks a test put in place of the fixed sequence; empty for the fixed one.
    std::vector<RunTask> InstalledTasks;

    // ------------------------------------------------------------ windows and clock

    //! The main window of the process; nullptr in an unattended run.
    MainWindowHost* MainWindow = nullptr;

    //! The prompter of the process (a console prompter until another is installed).
    Prompter& CurrentPrompter();
    //! Installs a prompter; nullptr restores the console prompter. The caller keeps ownership.
    void SetPrompter(Prompter* prompter);

    //! The clock the run reads; empty for the system clock (tests pin the run's start).
    std::function<Timestamp()> Clock;
    //! The local date and time now, from Clock or from the system clock.
    Timestamp Now() const;

    //! The run's progress window, or nullptr when none is loaded.
    ProgressWindow* ActiveProgressWindow() const { return progressWindow_.get(); }
    //! Makes the window the run's window, unloading any earlier one.
    void InstallProgressWindow(std::unique_ptr<ProgressWindow> window);
    //! Unloads the run's window, if any.
    void UnloadProgressWindow();
    //! Installs the maker of the run's windows; empty restores the default.
    void SetProgressWindowFactory(ProgressWindowFactory factory);
    //! Makes the window that a run shows. An unattended run without a display gets a
    //! console display on a terminal and a silent window otherwise; a desktop session
    //! and tests install their own maker.
    std::unique_ptr<ProgressWindow> MakeProgressWindow() const;

  private:
    ConsolePrompter consolePrompter_;
    Prompter* prompter_ = nullptr;
    std::unique_ptr<ProgressWindow> progressWindow_;
    ProgressWindowFactory progressWindowFactory_;
};

}  // namespace varnel

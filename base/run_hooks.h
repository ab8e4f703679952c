#pragma once

#include <string_view>

namespace varnel {

//! Where a test program can step into a run: at named points, and before each
//! statement goes to the driver. A test uses it to stop a run at a chosen moment,
//! or to kill the process there, and look at what the crash leaves behind. The
//! shipped program installs none; then every point costs one pointer test.
class RunHooks {
  public:
    virtual ~RunHooks() = default;
    //! The run has reached the named point.
    virtual void Reached(std::string_view point) = 0;
    //! A statement is about to go to the driver.
    virtual void Sending() = 0;
};

//! Installs the hooks for the rest of the process; nullptr removes them. Install
//! before the run starts: the hooks are read without a lock.
void InstallRunHooks(RunHooks* hooks);

//! The run holds the tool lock it has just taken.
inline constexpr std::string_view kAfterLockPoint = "after-lock";
//! A fact table's archived rows are committed in the archive database and not yet
//! deleted from the warehouse.
inline constexpr std::string_view kAfterArchiveCommitPoint = "after-archive-commit";
//! Every task of the run has finished; the lock, the log and the status are still to come.
inline constexpr std::string_view kAfterTasksPoint = "after-tasks";

//! Tells the installed hooks, if any, that the run has reached the point.
void ReachRunPoint(std::string_view point);

//! Tells the installed hooks, if any, that a statement is about to be sent.
void NoteStatementSent();

}  // namespace varnel

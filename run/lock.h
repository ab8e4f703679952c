#pragma once

// The multi-user lock: one row in dwm_multiuse that keeps two operators from
// cleaning one warehouse at once. Every operation works on the process's
// WarehouseConnection and, on an error, appends its description + CR LF to its
// MessageText and answers False.

namespace varnel {

class ProcessState;

//! Reads the name of the lock's last user into LastLockUser.
bool ReadLastLockUser(ProcessState& state);

//! Takes the lock for the current user; what it has to tell the run log goes to
//! LockNotes, the holder it found to LockHolder. wasLocked comes back True when another
//! live process held it and the operator chose not to take it over (the caller
//! stops). A lock whose holder has ended is taken over without a question, except
//! in the main window, where the operator is asked about another user's lock all
//! the same.
bool LockTool(ProcessState& state, bool& wasLocked);

//! Frees the lock when the current user holds it; a lock held by another user is
//! never released. The live lock that this process holds goes in any case.
bool UnlockTool(ProcessState& state);

//! Reads whether the lock is held (False when there is no row).
bool ReadLockFlag(ProcessState& state, bool& locked);

//! The main window's reading of the lock before it works on the warehouse: LockHeld
//! becomes True only when the row says lock 1 for the current user and no other live
//! process holds it; any other lock is left for LockTool to ask about. While the row
//! counts as this process's own, the process holds the live lock beside it on the
//! connection it has now (what cannot be held goes to LockNotes), so that a run
//! started elsewhere sees a live holder and not a lock left behind.
bool ReadOwnLock(ProcessState& state);

//! While this process holds the lock, holds the live lock again on the warehouse
//! connection it has now: a new connection to SQL Server is a session without it.
//! What cannot be held goes to LockNotes.
void HoldLiveLockAgain(ProcessState& state);

}  // namespace varnel

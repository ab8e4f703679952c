#pragma once

// The multi-user lock: one row in dwm_multiuse that keeps two operators from
// cleaning one warehouse at once. Every operation works on WarehouseConnection
// and, on an error, appends its description + CR LF to MessageText and answers False.

#include <string>
#include <vector>

namespace varnel {

//! The user_name found by ReadLastLockUser; empty when there is no row.
inline std::string LastLockUser;
//! The user who held the lock when LockTool last found it held by another process.
inline std::string LockHolder;

//! What the last LockTool has to tell the run log, one line each: a lock taken
//! over from a run that ended without releasing it, or why such a lock cannot be
//! recognised on this warehouse. LockTool has no log of its own; its caller
//! writes them.
inline std::vector<std::string> LockNotes;

//! Reads the name of the lock's last user into LastLockUser.
bool ReadLastLockUser();

//! Takes the lock for the current user. wasLocked comes back True when another
//! live process held it and the operator chose not to take it over (the caller
//! stops). A lock whose holder has ended is taken over without a question.
bool LockTool(bool& wasLocked);

//! Frees the lock when the current user holds it; a lock held by another user is
//! never released. The live lock that this process holds goes in any case.
bool UnlockTool();

//! Reads whether the lock is held (False when there is no row).
bool ReadLockFlag(bool& locked);

}  // namespace varnel

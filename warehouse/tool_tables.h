#pragma once

// The tool's own tables in the warehouse: the archive login (dwm_archive) and
// the multi-user lock (dwm_multiuse).

#include <string>

#include "warehouse/odbc.h"

namespace varnel {

//! Creates dwm_archive and its seeded row; on failure the message text receives
//! the error's description.
bool CreateArchiveLoginTable(Connection& connection, std::string& messageText);

//! Creates dwm_multiuse with its row locked by the current user, which sets lockHeld;
//! throws on failure.
void CreateLockTable(Connection& connection, bool& lockHeld);

//! Inserts the lock row, locked by the current user or free; on success lockHeld
//! becomes the lock given, on failure (a throw) nothing changes.
void InsertLockRow(Connection& connection, bool lock, bool& lockHeld);

}  // namespace varnel

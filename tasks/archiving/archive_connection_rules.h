#pragma once

// The checks that the archive settings of the fact table conditions dialog must
// pass before they are stored, and the archive login as the main window reads it.

#include <optional>
#include <string>

#include "tasks/archiving/fact_conditions.h"
#include "warehouse/odbc.h"

namespace varnel {

//! The first of the archive settings' rules that the settings break, without
//! connecting: no real server name, Windows authentication on both logins, or the
//! archive being the warehouse's own database. Empty when none is broken.
std::string ArchiveSettingsProblem(const ConnectionTarget& warehouse, const ArchiveLogin& archive);

//! The rules above, then a trial connection to the archive, released at once.
//! Returns the message to show, or empty when the archive settings can be stored.
std::string ValidateArchiveConnection(const ConnectionTarget& warehouse,
                                      const ArchiveLogin& archive);

//! The archive login row with its Nulls kept apart from empty texts.
struct StoredArchiveLogin {
    std::optional<std::string> Server{};
    std::optional<bool> SecureLogin{};
    std::optional<std::string> UserName{};
    std::optional<std::string> Password{};
    std::optional<std::string> Database{};
    //! False when dwm_archive has no row with ID = 1.
    bool Found = false;

    bool operator==(const StoredArchiveLogin&) const = default;
};

//! Reads the archive login row as it stands. On failure the message text receives
//! the error's description.
bool ReadStoredArchiveLogin(Connection& warehouse, StoredArchiveLogin& login,
                            std::string& messageText);

}  // namespace varnel

#pragma once

#include <string>

namespace varnel {

//! The login name of the user who runs the process: the name of the effective
//! user, or $USER when the user database has no entry for it.
std::string CurrentUserName();

//! The home folder of the user who runs the process: $HOME, or the effective
//! user's home in the user database when HOME is unset or empty (a service
//! started without HOME still has one there).
std::string CurrentUserHome();

}  // namespace varnel

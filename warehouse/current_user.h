#pragma once

#include <string>

namespace varnel {

//! The login name of the user who runs the process: the name of the effective
//! user, or $USER when the user database has no entry for it.
std::string CurrentUserName();

}  // namespace varnel

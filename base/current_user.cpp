#include "base/current_user.h"

#include <pwd.h>
#include <unistd.h>

#include <optional>
#include <vector>

#include "base/environment.h"

namespace varnel {

namespace {

//! The fields of a user database entry; nullopt where the entry holds a null pointer.
struct UserEntry {
    std::optional<std::string> Name;
    std::optional<std::string> Home;
};

//! The effective user's entry in the user database, nullopt when it has none.
std::optional<UserEntry> EffectiveUserEntry() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    const auto field = [](const char* text) {
        return text ? std::optional<std::string>(text) : std::nullopt;
    };
    return UserEntry{field(found->pw_name), field(found->pw_dir)};
}

}  // namespace

std::string CurrentUserName() {
    if (const auto entry = EffectiveUserEntry(); entry && entry->Name) return *entry->Name;
    return EnvironmentValue("USER");
}

std::string CurrentUserHome() {
    std::string home = EnvironmentValue("HOME");
    if (!home.empty()) return home;
    if (const auto entry = EffectiveUserEntry(); entry && entry->Home) return *entry->Home;
    return {};
}

}  // namespace varnel

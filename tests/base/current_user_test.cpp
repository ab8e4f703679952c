#include "base/current_user.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "tests/support/scoped_env.h"

namespace varnel {
namespace {

using testing::ScopedEnv;

TEST(CurrentUserTest, NameAndHomeComeFromTheUserDatabaseAndHomeFromHomeFirst) {
    const passwd* entry = getpwuid(geteuid());
    if (!entry) GTEST_SKIP() << "the effective user has no entry in the user database";
    const ScopedEnv user("USER", "someone-else");
    EXPECT_EQ(CurrentUserName(), entry->pw_name);
    {
        const ScopedEnv home("HOME", "/home/operator");
        EXPECT_EQ(CurrentUserHome(), "/home/operator");
    }
    for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
        const ScopedEnv home("HOME", unset);
        EXPECT_EQ(CurrentUserHome(), entry->pw_dir);
    }
}

}  // namespace
}  // namespace varnel

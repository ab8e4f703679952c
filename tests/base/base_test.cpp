#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "base/current_user.h"
#include "base/text.h"
#include "tests/support/scoped_env.h"

namespace varnel {
namespace {

using testing::ScopedEnv;
using Pieces = std::vector<std::string>;

TEST(CurrentUserTest, NameAndHomeComeFromTheUserDatabaseAndHomeFromHomeFirst) {
    const passwd* entry = getpwuid(geteuid());
    if (!entry) GTEST_SKIP() << "the effective user has no entry in the user database";
    const ScopedEnv user("USER", "someone-else");
    EXPECT_EQ(CurrentUserName(), entry->pw_name);
    for (const char* home : {"/home/operator", "", static_cast<const char*>(nullptr)}) {
        const ScopedEnv set("HOME", home);
        EXPECT_EQ(CurrentUserHome(), home && *home ? home : entry->pw_dir);
    }
}

TEST(TextTest, CommaListsSpacesAndAsciiCase) {
    const struct {
        std::string List;
        Pieces AsTheyStand, Trimmed;
    } cases[] = {
        {"", {""}, {""}},
        {" a , b ", {" a ", " b "}, {"a", "b"}},
        {",", {"", ""}, {"", ""}},
        {"  ,\tb\t", {"  ", "\tb\t"}, {"", "\tb\t"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitCommaList(c.List), c.AsTheyStand) << "[" << c.List << "]";
        EXPECT_EQ(SplitCommaList(c.List, ListPieces::Trimmed), c.Trimmed) << "[" << c.List << "]";
    }
    EXPECT_EQ(TrimBlanks("\t a \t"), "\t a \t");
    EXPECT_TRUE(IsBlank(""));
    EXPECT_FALSE(IsBlank(" \t "));
    EXPECT_FALSE(EqualsIgnoringCase("dim", "dim "));
    EXPECT_EQ(TrimBlanks("\t a \t", " \t"), "a");
    EXPECT_TRUE(EqualsIgnoringCase("Dim_Customer", "DIM_customer"));
    // Bytes beyond ASCII compare as they stand; '@' and '[' sit next to 'A' and 'Z'.
    EXPECT_FALSE(EqualsIgnoringCase("\xC3\x84", "\xC3\xA4"));
    EXPECT_EQ(LowerCase("AbZ@[`{"), "abz@[`{");
}

}  // namespace
}  // namespace varnel

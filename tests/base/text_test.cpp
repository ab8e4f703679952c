#include "base/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnel {
namespace {

using Pieces = std::vector<std::string>;

struct SplitCase {
    std::string List;
    Pieces AsTheyStand;
    Pieces Trimmed;
};

TEST(SplitCommaListTest, EveryCommaSeparatesAndOnlyTrimmedPiecesLoseSpaces) {
    const std::vector<SplitCase> cases = {
        {"", {""}, {""}},
        {"a", {"a"}, {"a"}},
        {" a , b ", {" a ", " b "}, {"a", "b"}},
        {"a,,b", {"a", "", "b"}, {"a", "", "b"}},
        {"a,", {"a", ""}, {"a", ""}},
        {",", {"", ""}, {"", ""}},
        {"  ,\tb\t", {"  ", "\tb\t"}, {"", "\tb\t"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitCommaList(c.List), c.AsTheyStand) << "[" << c.List << "]";
        EXPECT_EQ(SplitCommaList(c.List, ListPieces::Trimmed), c.Trimmed) << "[" << c.List << "]";
    }
}

TEST(TrimBlanksTest, SpacesGoTabsStayUnlessNamed) {
    EXPECT_EQ(TrimBlanks("  a b  "), "a b");
    EXPECT_EQ(TrimBlanks("   "), "");
    EXPECT_EQ(TrimBlanks(""), "");
    EXPECT_EQ(TrimBlanks("\t a \t"), "\t a \t");
    EXPECT_EQ(TrimBlanks("\t a \t", " \t"), "a");
    EXPECT_EQ(TrimmedView(" x "), "x");
    EXPECT_TRUE(IsBlank("   "));
    EXPECT_TRUE(IsBlank(""));
    EXPECT_FALSE(IsBlank(" \t "));
}

TEST(EqualsIgnoringCaseTest, OnlyAsciiLettersFoldAndLengthsMustMatch) {
    EXPECT_TRUE(EqualsIgnoringCase("Dim_Customer", "DIM_customer"));
    EXPECT_TRUE(EqualsIgnoringCase("", ""));
    EXPECT_FALSE(EqualsIgnoringCase("dim", "dim "));
    EXPECT_FALSE(EqualsIgnoringCase("[a]", "{a}"));
    // Bytes beyond ASCII compare as they stand: no locale folds them.
    EXPECT_FALSE(EqualsIgnoringCase("\xC3\x84", "\xC3\xA4"));
    // '@' and '[' sit next to 'A' and 'Z'; a fold by arithmetic alone would pair them wrongly.
    EXPECT_FALSE(EqualsIgnoringCase("@", "`"));
    EXPECT_FALSE(EqualsIgnoringCase("[", "{"));
    EXPECT_EQ(LowerCase("AbZ@[`{"), "abz@[`{");
}

}  // namespace
}  // namespace varnel

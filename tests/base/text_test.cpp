#include "base/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnel {
namespace {

using Pieces = std::vector<std::string>;

TEST(SplitCommaListTest, EveryCommaSeparatesAndOnlyTrimmedPiecesLoseSpaces) {
    const struct {
        std::string List;
        Pieces AsTheyStand;
        Pieces Trimmed;
    } cases[] = {
        {"", {""}, {""}},
        {" a , b ", {" a ", " b "}, {"a", "b"}},
        {"a,,b", {"a", "", "b"}, {"a", "", "b"}},
        {",", {"", ""}, {"", ""}},
        {"  ,\tb\t", {"  ", "\tb\t"}, {"", "\tb\t"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitCommaList(c.List), c.AsTheyStand) << "[" << c.List << "]";
        EXPECT_EQ(SplitCommaList(c.List, ListPieces::Trimmed), c.Trimmed) << "[" << c.List << "]";
    }
}

TEST(TextTest, SpacesTrimTabsStayAndOnlyAsciiLettersFold) {
    EXPECT_EQ(TrimBlanks("  a b  "), "a b");
    EXPECT_EQ(TrimBlanks("\t a \t"), "\t a \t");
    EXPECT_EQ(TrimBlanks("\t a \t", " \t"), "a");
    EXPECT_TRUE(IsBlank(""));
    EXPECT_FALSE(IsBlank(" \t "));
    EXPECT_TRUE(EqualsIgnoringCase("Dim_Customer", "DIM_customer"));
    EXPECT_FALSE(EqualsIgnoringCase("dim", "dim "));
    // Bytes beyond ASCII compare as they stand; '@' and '[' sit next to 'A' and 'Z'.
    EXPECT_FALSE(EqualsIgnoringCase("\xC3\x84", "\xC3\xA4"));
    EXPECT_FALSE(EqualsIgnoringCase("@", "`"));
    EXPECT_FALSE(EqualsIgnoringCase("[", "{"));
    EXPECT_EQ(LowerCase("AbZ@[`{"), "abz@[`{");
}

}  // namespace
}  // namespace varnel

#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace varnel {

//! The text with ASCII letters in lower case; names and keywords compare this way.
std::string LowerCase(std::string_view text);

//! True when the two texts are equal with ASCII letters compared in lower case.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

//! The blanks that TrimBlanks takes off by default: spaces only, tabs are kept.
inline constexpr std::string_view kSpaces = " ";

//! The part of the text without leading and trailing blanks.
std::string_view TrimmedView(std::string_view text, std::string_view blanks = kSpaces);

//! The text without leading and trailing blanks (spaces only unless told otherwise).
std::string TrimBlanks(std::string_view text, std::string_view blanks = kSpaces);

//! True when the text is empty after trimming blanks, the sense of "empty" in settings checks.
bool IsBlank(std::string_view text);

//! How SplitCommaList hands back each piece.
enum class ListPieces { AsTheyStand, Trimmed };

//! The list split at every comma: n commas give n + 1 pieces, so an empty text is one
//! empty piece. Trimmed pieces lose their leading and trailing spaces.
std::vector<std::string> SplitCommaList(std::string_view list,
                                        ListPieces pieces = ListPieces::AsTheyStand);

}  // namespace varnel

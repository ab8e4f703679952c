#include "base/text.h"

namespace varnel {

namespace {

char LowerLetter(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string LowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = LowerLetter(c);
    return lower;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerLetter(a[i]) != LowerLetter(b[i])) return false;
    return true;
}

std::string_view TrimmedView(std::string_view text, std::string_view blanks) {
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::string TrimBlanks(std::string_view text, std::string_view blanks) {
    return std::string(TrimmedView(text, blanks));
}

bool IsBlank(std::string_view text) {
    return TrimmedView(text).empty();
}

std::vector<std::string> SplitCommaList(std::string_view list, ListPieces pieces) {
    std::vector<std::string> result;
    std::size_t start = 0;
    while (true) {
        const auto comma = list.find(',', start);
        const std::string_view piece =
            list.substr(start, comma == std::string_view::npos ? comma : comma - start);
        result.emplace_back(pieces == ListPieces::Trimmed ? TrimmedView(piece) : piece);
        if (comma == std::string_view::npos) return result;
        start = comma + 1;
    }
}

}  // namespace varnel

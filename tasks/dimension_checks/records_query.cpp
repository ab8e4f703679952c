#include "tasks/dimension_checks/records_query.h"

#include <vector>

#include "base/text.h"

namespace varnel {

namespace {

// The text split at every single blank; tabs and line breaks stay inside words.
std::vector<std::string> SplitAtBlanks(const std::string& text) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (true) {
        const std::size_t blank = text.find(' ', start);
        if (blank == std::string::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, blank - start));
        start = blank + 1;
    }
}

std::string UpperCase(const std::string& text) {
    std::string upper = text;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

}  // namespace

std::string TableRecordsQuery(const std::string& table) {
    return "Select * from " + table;
}

bool IsJoinQuery(const std::string& query) {
    std::string text = LowerCase(query);
    const std::size_t from = text.find("from");
    if (from != std::string::npos) text.erase(0, from);
    for (const char* word : {"where", "group by", "having", "order by"}) {
        const std::size_t found = text.find(word);
        if (found != std::string::npos) {
            text.erase(found);
            break;
        }
    }
    return text.find(',') != std::string::npos;
}

std::optional<std::string> RebuildRecordsQuery(const std::string& typed, std::string& messageText) {
    std::string normalised;
    for (const auto& piece : SplitAtBlanks(typed))
        if (!piece.empty()) normalised += piece + " ";
    // The normalised text ends in a blank, so the last word is always empty.
    const std::vector<std::string> words = SplitAtBlanks(normalised);
    const std::size_t last = words.size() - 1;
    auto runsOut = [&](const std::string& after) {
        messageText = "The query cannot be run, because nothing follows " + after + ".";
        return std::nullopt;
    };

    std::string rebuilt = "Select ";
    std::size_t p = 1;
    if (p < last && (UpperCase(words[1]) == "DISTINCT" || UpperCase(words[1]) == "ALL")) {
        rebuilt += words[1] + " ";
        p = 2;
    }
    if (p < last && UpperCase(words[p]) == "TOP") {
        if (p + 1 >= last) return runsOut(words[p]);
        rebuilt += "TOP " + words[p + 1] + " ";
        p += 2;
        if (p >= last) return runsOut(words[p - 2] + " " + words[p - 1]);
        if (UpperCase(words[p]) == "PERCENT") {
            rebuilt += "PERCENT ";
            ++p;
            if (p >= last) return runsOut(words[p - 1]);
        }
        if (UpperCase(words[p]) == "WITH") {
            if (p + 1 >= last) return runsOut(words[p]);
            if (UpperCase(words[p + 1]) == "TIES") {
                rebuilt += "WITH TIES ";
                p += 2;
                if (p >= last) return runsOut(words[p - 2] + " " + words[p - 1]);
            }
        }
    }
    rebuilt += " is_sustainable, ";
    for (std::size_t i = p; i <= last; ++i) rebuilt += words[i] + " ";
    return rebuilt;
}

std::string SortedRecordsQuery(const std::string& recordsQuery, const std::string& column) {
    return recordsQuery + " ORDER BY " + column;
}

}  // namespace varnel

#pragma once

#include <string>
#include <string_view>

namespace varnel {

//! The text with ASCII letters in lower case; names and keywords compare this way.
inline std::string LowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

}  // namespace varnel

#pragma once

// The one failure convention: inside an operation failures are exceptions; at the
// operation's edge they become its Boolean result and a line of the message text.

#include <exception>
#include <string>
#include <type_traits>
#include <utility>

namespace varnel {

//! Appends a failure's description and CR LF to the message text.
inline void AppendFailure(std::string& messageText, const std::exception& error) {
    messageText += error.what();
    messageText += "\r\n";
}

//! Runs an operation's body and answers its result; a failure (any std::exception)
//! answers False and leaves its description + CR LF in the message text. Results
//! and transactions opened by the body are released as the exception leaves it.
template <typename Body>
bool AtOperationEdge(std::string& messageText, Body&& body) {
    try {
        if constexpr (std::is_void_v<decltype(std::forward<Body>(body)())>) {
            std::forward<Body>(body)();
            return true;
        } else {
            return std::forward<Body>(body)();
        }
    } catch (const std::exception& error) {
        AppendFailure(messageText, error);
        return false;
    }
}

}  // namespace varnel

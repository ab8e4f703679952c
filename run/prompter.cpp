#include "run/prompter.h"

#include <iostream>

namespace varnel {

void ConsolePrompter::ShowMessage(const std::string& text, int /*style*/,
                                  const std::string& title) {
    std::cerr << title << ": " << text << '\n';
}

bool ConsolePrompter::AskYesNo(const std::string& /*text*/, const std::string& /*title*/) {
    return false;
}

}  // namespace varnel

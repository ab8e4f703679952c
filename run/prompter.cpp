#include "run/prompter.h"

#include <iostream>

namespace varnel {

namespace {

Prompter*& Installed() {
    static Prompter* prompter = nullptr;
    return prompter;
}

}  // namespace

void ConsolePrompter::ShowMessage(const std::string& text, int /*style*/,
                                  const std::string& title) {
    std::cerr << title << ": " << text << '\n';
}

bool ConsolePrompter::AskYesNo(const std::string& /*text*/, const std::string& /*title*/) {
    return false;
}

Prompter& CurrentPrompter() {
    static ConsolePrompter console;
    Prompter* installed = Installed();
    return installed ? *installed : console;
}

void SetPrompter(Prompter* prompter) {
    Installed() = prompter;
}

}  // namespace varnel

#include "run/run_settings.h"

namespace varnel {

void ResetRunSettings(RunSettings& settings) {
    settings = RunSettings{};
    ConfigMode = false;
}

void AppendMessageLine(const std::string& line) {
    MessageText += "\r\n";
    MessageText += line;
}

std::string TrimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

bool IsBlank(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

}  // namespace varnel

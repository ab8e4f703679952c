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

}  // namespace varnel

#include "base/message_text.h"

namespace varnel {

void AppendMessageLine(const std::string& line) {
    MessageText += "\r\n";
    MessageText += line;
}

}  // namespace varnel

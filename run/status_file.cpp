#include "run/status_file.h"

#include <exception>
#include <fstream>

namespace varnel {

bool SetStatusFileName(const std::string& path) {
    StatusFileName = path;
    return true;
}

bool WriteJobStatus(const std::string& word) {
    if (StatusFileName.empty()) return false;
    // A status that cannot be written must never disturb the run, so nothing escapes here.
    try {
        std::ofstream out(StatusFileName, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << word << "\r\n";
        out.close();
        return !out.fail();
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace varnel

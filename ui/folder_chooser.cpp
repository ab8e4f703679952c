#include "ui/folder_chooser.h"

#include <filesystem>
#include <system_error>

#include "base/text.h"
#include "ui/choosers.h"

namespace varnel {

std::string StartFolderFor(const std::string& text) {
    if (IsBlank(text)) return {};
    std::filesystem::path folder(TrimBlanks(text));
    std::error_code error;
    while (!folder.empty()) {
        if (std::filesystem::is_directory(folder, error)) return folder.string();
        const std::filesystem::path parent = folder.parent_path();
        if (parent == folder) break;
        folder = parent;
    }
    return {};
}

std::string FolderChooser::Browse(QWidget* owner, const std::string& startFolder,
                                  const std::string& title) const {
    return choosers_.ChooseFolder(owner, StartFolderFor(startFolder), title);
}

}  // namespace varnel

#include "tests/ui/support/scripted_choosers.h"

#include <QDialog>

namespace varnel::testing {

namespace {

template <typename T>
T Next(std::deque<T>& script, T whenEmpty) {
    if (script.empty()) return whenEmpty;
    T next = std::move(script.front());
    script.pop_front();
    return next;
}

}  // namespace

std::string ScriptedChoosers::ChooseFolder(QWidget* owner, const std::string& startFolder,
                                           const std::string& title) {
    Requests.push_back({"folder", owner, startFolder, title, ""});
    return Next(Paths, std::string());
}

std::string ScriptedChoosers::ChooseFile(QWidget* owner, const std::string& startPath,
                                         const std::string& title, const std::string& filter) {
    Requests.push_back({"file", owner, startPath, title, filter});
    return Next(Paths, std::string());
}

int ScriptedChoosers::RunModal(QDialog& dialog) {
    Requests.push_back({"dialog", nullptr, "", dialog.windowTitle().toStdString(), ""});
    auto action = Next(Dialogs, std::function<int(QDialog&)>());
    return action ? action(dialog) : QDialog::Rejected;
}

}  // namespace varnel::testing

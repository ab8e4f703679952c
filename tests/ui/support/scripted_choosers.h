#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/choosers.h"

namespace varnel::testing {

//! Choosers that answer from a script (empty text, or Rejected, when it runs out)
//! and record each request; nothing modal ever opens.
class ScriptedChoosers : public Choosers {
  public:
    struct Request {
        std::string Kind;  // "folder", "file" or "dialog"
        QWidget* Owner = nullptr;
        std::string Start;
        std::string Title;
        std::string Filter;
    };

    std::string ChooseFolder(QWidget* owner, const std::string& startFolder,
                             const std::string& title) override;
    std::string ChooseFile(QWidget* owner, const std::string& startPath, const std::string& title,
                           const std::string& filter) override;
    //! Runs the next scripted action on the dialog in place of the operator.
    int RunModal(QDialog& dialog) override;

    std::deque<std::string> Paths;
    std::deque<std::function<int(QDialog&)>> Dialogs;
    std::vector<Request> Requests;
};

}  // namespace varnel::testing

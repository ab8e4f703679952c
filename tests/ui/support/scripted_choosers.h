#pragma once

#include <QDialog>
#include <deque>
#include <string>
#include <vector>

#include "ui/choosers.h"

namespace varnel::testing {

//! Choosers that answer from a script (empty text when it runs out) and note where each
//! request starts (empty for a dialog). Every dialog is rejected: nothing modal ever opens.
class ScriptedChoosers : public Choosers {
  public:
    std::string ChooseFolder(QWidget*, const std::string& start, const std::string&) override {
        return Next(start);
    }
    std::string ChooseFile(QWidget*, const std::string& start, const std::string&,
                           const std::string&) override {
        return Next(start);
    }
    int RunModal(QDialog&) override {
        Starts.emplace_back();
        return QDialog::Rejected;
    }

    std::deque<std::string> Paths;
    std::vector<std::string> Starts;

  private:
    std::string Next(const std::string& start) {
        Starts.push_back(start);
        if (Paths.empty()) return {};
        std::string next = Paths.front();
        Paths.pop_front();
        return next;
    }
};

}  // namespace varnel::testing

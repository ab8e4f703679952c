#pragma once

#include <string>

class QDialog;
class QWidget;

namespace varnel {

//! The modal windows that wait for the operator: the file and folder choosers and
//! the settings dialogs. Windows reach them only through this seam, so that a test
//! scripts the answers instead of waiting on a modal window.
class Choosers {
  public:
    virtual ~Choosers() = default;
    //! A folder the operator picked, starting in the folder given; empty when cancelled.
    virtual std::string ChooseFolder(QWidget* owner, const std::string& startFolder,
                                     const std::string& title) = 0;
    //! An existing file the operator picked; empty when cancelled. The filter is in
    //! Qt's form, "SQLite files (*.db);;All files (*)".
    virtual std::string ChooseFile(QWidget* owner, const std::string& startPath,
                                   const std::string& title, const std::string& filter) = 0;
    //! Shows a dialog modally until it closes; its result (QDialog::Accepted or Rejected).
    virtual int RunModal(QDialog& dialog) = 0;
};

//! The choosers of a desktop session: Qt's file dialogs and QDialog::exec.
class QtChoosers final : public Choosers {
  public:
    std::string ChooseFolder(QWidget* owner, const std::string& startFolder,
                             const std::string& title) override;
    std::string ChooseFile(QWidget* owner, const std::string& startPath, const std::string& title,
                           const std::string& filter) override;
    int RunModal(QDialog& dialog) override;
};

}  // namespace varnel

#pragma once

#include <functional>
#include <memory>
#include <string>

#include "run/prompter.h"

class QMessageBox;
class QWidget;

namespace varnel {

//! What a message box offers.
enum class BoxButtons { Ok, YesNo };

//! A message box as the prompter shows it: the title "Varnel" unless another is
//! named, the icon of the style (16 critical, 32 question, 48 exclamation, 64
//! information) and the text with CR LF line ends as plain line breaks.
std::unique_ptr<QMessageBox> MakeMessageBox(const std::string& text, int style,
                                            const std::string& title, BoxButtons buttons,
                                            QWidget* owner);

//! The prompter of a desktop session: modal message boxes over the window that
//! the owner function names (none: over no window).
class QtPrompter final : public Prompter {
  public:
    explicit QtPrompter(std::function<QWidget*()> owner = {});
    void ShowMessage(const std::string& text, int style, const std::string& title) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;

  private:
    QWidget* Owner() const;
    std::function<QWidget*()> owner_;
};

}  // namespace varnel

#pragma once

#include <string>

class QWidget;

namespace varnel {

class Choosers;

//! The folder chooser of the main window: takes an owner, a start folder and a
//! title, and gives back the folder the operator picked or empty text.
class FolderChooser {
  public:
    explicit FolderChooser(Choosers& choosers) : choosers_(choosers) {}

    //! Opens in the start folder, or in its nearest existing parent when it does not
    //! exist (a mistyped last part still opens near it); empty when cancelled.
    std::string Browse(QWidget* owner, const std::string& startFolder,
                       const std::string& title) const;

  private:
    Choosers& choosers_;
};

//! The folder a chooser opens in for the text given: the text when it names a
//! folder, else its nearest existing parent, else empty (the chooser's own default).
std::string StartFolderFor(const std::string& text);

}  // namespace varnel

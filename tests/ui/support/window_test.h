#pragma once

#include <string>
#include <vector>

class QWidget;

namespace varnel::testing {

//! Makes the process's QApplication on first use (the platform comes from
//! QT_QPA_PLATFORM, offscreen in the suites); it lives until the process ends.
void EnsureQtApplication();

//! Lets Qt delete the widgets that were handed to it for deletion.
void DeleteDeferredWidgets();

//! What is untidy in a window as it stands: a caption that its control clips, two visible
//! sibling controls that overlap, and a control that reaches past its parent's edge. One line
//! per fault, naming the controls by object name; empty when the window is clean.
std::vector<std::string> LayoutFaults(const QWidget& window);

}  // namespace varnel::testing

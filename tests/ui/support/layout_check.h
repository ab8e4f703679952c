#pragma once

#include <string>
#include <vector>

class QWidget;

namespace varnel::testing {

//! What is untidy in a window as it stands: a caption that its control clips (the
//! text measured with the control's own font), two visible sibling controls that
//! overlap, and a control that reaches past its parent's edge. One line per fault,
//! naming the controls by object name; empty when the window is clean.
std::vector<std::string> LayoutFaults(const QWidget& window);

}  // namespace varnel::testing

#pragma once

class QWidget;

namespace varnel {

//! Enables a control and gives it the background of window contents.
void EnableControl(QWidget& control);
//! Disables a control and gives it the background of inactive borders.
void DisableControl(QWidget& control);

}  // namespace varnel

#include "ui/control_state.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace varnel {

namespace {

void SetControlState(QWidget& control, bool enabled) {
    control.setEnabled(enabled);
    // Entry fields paint their background with the Base role; buttons and labels do
    // not, so for them this is only the enabled state.
    const QPalette standard = QApplication::palette(&control);
    QPalette palette = control.palette();
    palette.setColor(QPalette::Base, enabled ? standard.color(QPalette::Active, QPalette::Base)
                                             : standard.color(QPalette::Active, QPalette::Window));
    control.setPalette(palette);
}

}  // namespace

void EnableControl(QWidget& control) {
    SetControlState(control, true);
}

void DisableControl(QWidget& control) {
    SetControlState(control, false);
}

}  // namespace varnel

#include "ui/form_layout.h"

#include <QWidget>
#include <cmath>
#include <cstring>

namespace varnel {

namespace {

enum class ControlType { ComboBox, Frame, Label, Other };

// The type decides by the control's own class, not by what it derives from: a
// QLabel is a QFrame too, and it must not be sized as a frame.
ControlType TypeOf(const QWidget& control) {
    const char* name = control.metaObject()->className();
    if (std::strcmp(name, "QComboBox") == 0) return ControlType::ComboBox;
    if (std::strcmp(name, "QGroupBox") == 0 || std::strcmp(name, "QFrame") == 0)
        return ControlType::Frame;
    if (std::strcmp(name, "QLabel") == 0) return ControlType::Label;
    return ControlType::Other;
}

int Scaled(int design, double reference, double actual) {
    return static_cast<int>(std::lround(static_cast<double>(design) / reference * actual));
}

}  // namespace

int TwipsToPixels(int twips, double dpi) {
    return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / 1440.0));
}

void ClsAlign::Reset() {
    toCtrl_ = nullptr;
    withCtrl_ = nullptr;
    withGap_ = 0;
}

void ClsResize::ResizeStandard(QWidget& control, const QWidget& container) {
    if (formWidth_ <= 0 || formHeight_ <= 0) return;
    // Scaling the current geometry again and again would add up the rounding of
    // every step; the design geometry is scaled instead.
    const QRect design = design_.try_emplace(&control, control.geometry()).first->second;
    const double sw = container.width();
    const double sh = container.height();
    const int left = Scaled(design.x(), formWidth_, sw);
    const int top = Scaled(design.y(), formHeight_, sh);
    const int width = Scaled(design.width(), formWidth_, sw);
    const int height = Scaled(design.height(), formHeight_, sh);
    switch (TypeOf(control)) {
        case ControlType::ComboBox:
        case ControlType::Frame:
            control.setGeometry(left, top, width, control.height());
            break;
        case ControlType::Label:
            control.move(left, top);
            break;
        case ControlType::Other:
            control.setGeometry(left, top, width, height);
            break;
    }
}

void ClsResize::RelocateCmdButton(QWidget& control, const QWidget& relativeTo,
                                  std::int32_t relativePosition) const {
    const QRect r = relativeTo.geometry();
    const int g = buttonsGap_;
    const int above = r.y() - control.height() - g;
    const int below = r.y() + r.height() + g;
    const int rightAligned = r.x() + r.width() - control.width();
    switch (relativePosition) {
        case 0:
            control.move(r.x(), above);
            break;
        case 1:
            control.move(r.x(), below);
            break;
        case 2:
            control.move(rightAligned, above);
            break;
        case 3:
            control.move(rightAligned, below);
            break;
        case 4:
            control.move(r.x() - control.width() - g, r.y());
            break;
        case 5:
            control.move(r.x() + r.width() + g, r.y());
            break;
        default:
            break;
    }
}

void ClsResize::ResizeRelative(QWidget& control, const QWidget& container, const ClsAlign* left,
                               const ClsAlign* top, const ClsAlign* bottom, const ClsAlign* right,
                               bool resizeWidth, bool resizeHeight) const {
    int newLeft = control.x();
    if (left) {
        if (left->WithCtrl())
            newLeft = left->WithCtrl()->x();
        else if (left->ToCtrl())
            newLeft = left->ToCtrl()->x() + left->ToCtrl()->width() + left->WithGap();
        else
            newLeft = left->WithGap();
    }
    int newTop = control.y();
    if (top) {
        if (top->WithCtrl())
            newTop = top->WithCtrl()->y();
        else if (top->ToCtrl())
            newTop = top->ToCtrl()->y() + top->ToCtrl()->height() + top->WithGap();
        else
            newTop = top->WithGap();
    }
    int newWidth = control.width();
    if (resizeWidth && right) {
        if (right->WithCtrl())
            newWidth = right->WithCtrl()->x() + right->WithCtrl()->width() - newLeft;
        else if (right->ToCtrl())
            newWidth = right->ToCtrl()->x() - right->WithGap() - newLeft;
        else
            newWidth = container.width() - right->WithGap() - newLeft;
    }
    int newHeight = control.height();
    if (resizeHeight && bottom) {
        if (bottom->WithCtrl())
            newHeight = bottom->WithCtrl()->y() + bottom->WithCtrl()->height() - newTop;
        else if (bottom->ToCtrl())
            newHeight = bottom->ToCtrl()->y() - bottom->WithGap() - newTop;
        else
            newHeight = container.height() - bottom->WithGap() - newTop;
    }
    control.setGeometry(newLeft, newTop, newWidth, newHeight);
}

}  // namespace varnel

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

namespace {

// One axis of a control: its position and its size on that axis.
struct Axis {
    int (QWidget::*Position)() const;
    int (QWidget::*Size)() const;
};
constexpr Axis kHorizontal{&QWidget::x, &QWidget::width};
constexpr Axis kVertical{&QWidget::y, &QWidget::height};

// Where a left or top edge placed by the alignment falls.
int LeadingEdge(const ClsAlign& align, Axis axis) {
    if (const QWidget* with = align.WithCtrl()) return (with->*axis.Position)();
    if (const QWidget* to = align.ToCtrl())
        return (to->*axis.Position)() + (to->*axis.Size)() + align.WithGap();
    return align.WithGap();
}

// Where a right or bottom edge placed by the alignment falls; the container's
// size stands for its far edge.
int TrailingEdge(const ClsAlign& align, Axis axis, int containerSize) {
    if (const QWidget* with = align.WithCtrl())
        return (with->*axis.Position)() + (with->*axis.Size)();
    if (const QWidget* to = align.ToCtrl()) return (to->*axis.Position)() - align.WithGap();
    return containerSize - align.WithGap();
}

}  // namespace

void ClsResize::ResizeRelative(QWidget& control, const QWidget& container, const ClsAlign* left,
                               const ClsAlign* top, const ClsAlign* bottom, const ClsAlign* right,
                               bool resizeWidth, bool resizeHeight) const {
    const int newLeft = left ? LeadingEdge(*left, kHorizontal) : control.x();
    const int newTop = top ? LeadingEdge(*top, kVertical) : control.y();
    const int newWidth = resizeWidth && right
                             ? TrailingEdge(*right, kHorizontal, container.width()) - newLeft
                             : control.width();
    const int newHeight = resizeHeight && bottom
                              ? TrailingEdge(*bottom, kVertical, container.height()) - newTop
                              : control.height();
    control.setGeometry(newLeft, newTop, newWidth, newHeight);
}

}  // namespace varnel

#pragma once

// Keeping a resizable window's controls in place: ClsResize scales or places one
// control at a time, ClsAlign describes how one edge of a control is aligned.
// Coordinates are pixels in the parent's client area, as Qt gives them.

#include <QRect>
#include <cstdint>
#include <unordered_map>

class QWidget;

namespace varnel {

//! Pixels for a length given in twips (1440 to the inch) at the given dots per inch.
int TwipsToPixels(int twips, double dpi);

//! One edge rule. WithCtrl takes precedence over ToCtrl; with neither, the edge is
//! placed WithGap from the container's edge.
class ClsAlign {
  public:
    //! Align this edge with the same edge of that control.
    QWidget* WithCtrl() const { return withCtrl_; }
    void WithCtrl(QWidget* control) { withCtrl_ = control; }
    //! Place this edge next to the facing edge of that control.
    QWidget* ToCtrl() const { return toCtrl_; }
    void ToCtrl(QWidget* control) { toCtrl_ = control; }
    //! Distance from ToCtrl or, without a control, from the container's edge.
    std::int32_t WithGap() const { return withGap_; }
    void WithGap(std::int32_t gap) { withGap_ = gap; }
    //! Clears ToCtrl, then WithCtrl, and sets WithGap to 0.
    void Reset();

  private:
    QWidget* withCtrl_ = nullptr;
    QWidget* toCtrl_ = nullptr;
    std::int32_t withGap_ = 0;
};

//! The layout operations of one resizable window.
class ClsResize {
  public:
    //! The window's design position and size; width and height are the reference of
    //! ResizeStandard.
    void FormLeft(std::int16_t left) { formLeft_ = left; }
    void FormTop(std::int16_t top) { formTop_ = top; }
    void FormWidth(std::int16_t width) { formWidth_ = width; }
    void FormHeight(std::int16_t height) { formHeight_ = height; }
    std::int16_t FormLeft() const { return formLeft_; }
    std::int16_t FormTop() const { return formTop_; }
    //! The gap RelocateCmdButton leaves between the two controls.
    void ButtonsGap(std::int32_t gap) { buttonsGap_ = gap; }

    //! Scales the control from its design geometry by the container's client size
    //! against FormWidth and FormHeight. The design geometry is the control's
    //! geometry at the first call for it, when the window is at its design size.
    //! A combo box or frame keeps its height, a label its size.
    void ResizeStandard(QWidget& control, const QWidget& container);

    //! Places the control next to another, its size kept: 0 above left-aligned, 1
    //! below left-aligned, 2 above right-aligned, 3 below right-aligned, 4 to the left
    //! tops aligned, 5 to the right tops aligned; any other value changes nothing.
    void RelocateCmdButton(QWidget& control, const QWidget& relativeTo,
                           std::int32_t relativePosition) const;

    //! Places the control by edge rules: left and top always (an omitted rule keeps
    //! the edge where it is), the width from the right rule when resizeWidth is set,
    //! the height from the bottom rule when resizeHeight is set.
    void ResizeRelative(QWidget& control, const QWidget& container, const ClsAlign* left,
                        const ClsAlign* top, const ClsAlign* bottom, const ClsAlign* right,
                        bool resizeWidth, bool resizeHeight) const;

  private:
    std::int16_t formLeft_ = 0;
    std::int16_t formTop_ = 0;
    std::int16_t formWidth_ = 0;
    std::int16_t formHeight_ = 0;
    std::int32_t buttonsGap_ = 0;
    std::unordered_map<const QWidget*, QRect> design_;
};

}  // namespace varnel

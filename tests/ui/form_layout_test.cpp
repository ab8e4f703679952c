// The layout helpers of resizable windows, on plain widgets in a container.

#include "ui/form_layout.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <functional>

#include "tests/ui/support/qt_application.h"

namespace varnel {
namespace {

class FormLayoutTest : public ::testing::Test {
  protected:
    template <typename T>
    T* Add(const QRect& geometry) {
        auto* control = new T(&container_);
        control->setGeometry(geometry);
        return control;
    }

    const bool application_ = (testing::EnsureQtApplication(), true);
    QWidget container_;
};

TEST_F(FormLayoutTest, ResizeStandardScalesEachTypeFromItsDesignGeometry) {
    container_.resize(400, 300);
    ClsResize resize;
    resize.FormWidth(400);
    resize.FormHeight(300);
    const QRect design(40, 30, 100, 20);
    const struct {
        const char* Type;
        QWidget* Control;
        QRect TwiceAsWide;
        QRect HalfAsHigh;
    } cases[] = {
        {"label", Add<QLabel>(design), QRect(80, 30, 100, 20), QRect(40, 15, 100, 20)},
        {"combo box", Add<QComboBox>(design), QRect(80, 30, 200, 20), QRect(40, 15, 100, 20)},
        {"group box", Add<QGroupBox>(design), QRect(80, 30, 200, 20), QRect(40, 15, 100, 20)},
        {"frame", Add<QFrame>(design), QRect(80, 30, 200, 20), QRect(40, 15, 100, 20)},
        {"button", Add<QPushButton>(design), QRect(80, 30, 200, 20), QRect(40, 15, 100, 10)},
    };
    const struct {
        const char* Size;
        QSize Container;
    } sizes[] = {
        {"design", {400, 300}}, {"twice as wide", {800, 300}}, {"half as high", {400, 150}}};
    for (const auto& size : sizes) {
        container_.resize(size.Container);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.Type) + " at " + size.Size);
            resize.ResizeStandard(*c.Control, container_);
            const QRect expected = size.Container.width() == 800    ? c.TwiceAsWide
                                   : size.Container.height() == 150 ? c.HalfAsHigh
                                                                    : design;
            EXPECT_EQ(c.Control->geometry(), expected);
        }
    }
}

TEST_F(FormLayoutTest, DragThroughManySizesBackToTheDesignLeavesEveryControlInPlace) {
    container_.resize(613, 457);
    ClsResize resize;
    resize.FormWidth(613);
    resize.FormHeight(457);
    std::vector<std::pair<QWidget*, QRect>> controls;
    for (const QRect& r : {QRect(7, 11, 93, 23), QRect(111, 37, 301, 141), QRect(3, 203, 607, 2),
                           QRect(419, 401, 89, 27)}) {
        controls.push_back({Add<QPushButton>(r), r});
        controls.push_back({Add<QFrame>(r), r});
    }
    for (int step = 1; step <= 60; ++step) {
        container_.resize(613 + step * 7 % 311, 457 + step * 13 % 229);
        for (auto& [control, design] : controls) resize.ResizeStandard(*control, container_);
    }
    container_.resize(613, 457);
    for (auto& [control, design] : controls) {
        resize.ResizeStandard(*control, container_);
        EXPECT_EQ(control->geometry(), design) << control->metaObject()->className();
    }
}

TEST_F(FormLayoutTest, RelocateCmdButtonPlacesTheButtonAroundTheOtherControl) {
    QWidget* other = Add<QFrame>(QRect(1000, 2000, 3000, 1500));
    QWidget* button = Add<QPushButton>(QRect(10, 20, 1200, 375));
    ClsResize resize;
    resize.ButtonsGap(120);
    const struct {
        int Position;
        QPoint Expected;
    } cases[] = {
        {0, {1000, 2000 - 375 - 120}},
        {1, {1000, 3500 + 120}},
        {2, {2800, 2000 - 375 - 120}},
        {3, {2800, 3500 + 120}},
        {4, {1000 - 1200 - 120, 2000}},
        {5, {4000 + 120, 2000}},
        {6, {10, 20}},
        {-1, {10, 20}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Position);
        button->setGeometry(10, 20, 1200, 375);
        resize.RelocateCmdButton(*button, *other, c.Position);
        EXPECT_EQ(button->pos(), c.Expected);
        EXPECT_EQ(button->size(), QSize(1200, 375));
    }
}

TEST_F(FormLayoutTest, ResizeRelativeFollowsTheEdgeRules) {
    container_.resize(9000, 7000);
    QWidget* left = Add<QFrame>(QRect(300, 400, 1000, 800));
    QWidget* button = Add<QPushButton>(QRect(5000, 900, 1200, 375));
    QWidget* lower = Add<QFrame>(QRect(0, 4000, 10, 10));
    QWidget* control = Add<QFrame>(QRect(10, 20, 30, 40));
    ClsResize resize;
    const auto rule = [](QWidget* with, QWidget* to, int gap) {
        ClsAlign align;
        align.ToCtrl(to);
        align.WithCtrl(with);
        align.WithGap(gap);
        return align;
    };
    const ClsAlign gap200 = rule(nullptr, nullptr, 200);
    const ClsAlign toButton = rule(nullptr, button, 100);
    const ClsAlign toLeft = rule(nullptr, left, 50);
    const ClsAlign toLower = rule(nullptr, lower, 100);
    const ClsAlign withLeft = rule(left, button, 999);
    ClsAlign reset = rule(left, button, 70);
    reset.Reset();
    EXPECT_EQ(reset.WithCtrl(), nullptr);
    EXPECT_EQ(reset.ToCtrl(), nullptr);
    EXPECT_EQ(reset.WithGap(), 0);
    const struct {
        const char* Name;
        const ClsAlign *Left, *Top, *Bottom, *Right;
        bool Width, Height;
        QRect Expected;
    } cases[] = {
        {"right rule to a button", &gap200, &gap200, nullptr, &toButton, true, false,
         QRect(200, 200, 4700, 40)},
        {"next to a control", &toLeft, &toLeft, &toLower, nullptr, false, true,
         QRect(1350, 1250, 30, 4000 - 100 - 1250)},
        {"with a control's edges", &withLeft, &withLeft, &withLeft, &withLeft, true, true,
         QRect(300, 400, 1000, 800)},
        {"after a reset, at the container's edges", &reset, &reset, &reset, &reset, true, true,
         QRect(0, 0, 9000, 7000)},
        {"gaps from the container's edges", &gap200, &gap200, &gap200, &gap200, true, true,
         QRect(200, 200, 8600, 6600)},
        {"sizes left alone unless asked", &gap200, &gap200, &gap200, &gap200, false, false,
         QRect(200, 200, 30, 40)},
        {"omitted rules keep the edges", nullptr, nullptr, nullptr, nullptr, true, true,
         QRect(10, 20, 30, 40)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        control->setGeometry(10, 20, 30, 40);
        resize.ResizeRelative(*control, container_, c.Left, c.Top, c.Bottom, c.Right, c.Width,
                              c.Height);
        EXPECT_EQ(control->geometry(), c.Expected);
    }
}

TEST(TwipsTest, PixelsFollowTheScreensDotsPerInch) {
    EXPECT_EQ(TwipsToPixels(1440, 96), 96);
    EXPECT_EQ(TwipsToPixels(200, 96), 13);
    EXPECT_EQ(TwipsToPixels(8700, 96), 580);
    EXPECT_EQ(TwipsToPixels(9900, 120), 825);
}

}  // namespace
}  // namespace varnel

// The layout helpers of resizable windows, on plain widgets in a container.

#include "ui/form_layout.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

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
        QWidget* Control;
        QRect TwiceAsWide, HalfAsHigh;
    } cases[] = {
        {Add<QLabel>(design), QRect(80, 30, 100, 20), QRect(40, 15, 100, 20)},
        {Add<QComboBox>(design), QRect(80, 30, 200, 20), QRect(40, 15, 100, 20)},
        {Add<QFrame>(design), QRect(80, 30, 200, 20), QRect(40, 15, 100, 20)},
        {Add<QPushButton>(design), QRect(80, 30, 200, 20), QRect(40, 15, 100, 10)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Control->metaObject()->className());
        container_.resize(800, 300);
        resize.ResizeStandard(*c.Control, container_);
        EXPECT_EQ(c.Control->geometry(), c.TwiceAsWide);
        container_.resize(400, 150);
        resize.ResizeStandard(*c.Control, container_);
        EXPECT_EQ(c.Control->geometry(), c.HalfAsHigh);
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

}  // namespace
}  // namespace varnel

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

}  // namespace
}  // namespace varnel

#include "tests/ui/support/window_test.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>

namespace varnel::testing {

namespace {

std::string Name(const QWidget* widget) {
    const QString name = widget->objectName();
    return name.isEmpty() ? std::string(widget->metaObject()->className()) : name.toStdString();
}

// The text as drawn: "&&" shows one ampersand, a single '&' marks the access key.
QString Shown(const QString& caption) {
    QString shown;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) ++i;
        shown += caption[i];
    }
    return shown;
}

// The room a caption needs in its control; an empty size for controls without one.
QSize NeededSize(const QWidget& widget) {
    if (const auto* label = qobject_cast<const QLabel*>(&widget))
        return label->text().isEmpty() || label->wordWrap() ? QSize() : label->sizeHint();
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget))
        return button->text().isEmpty() ? QSize() : button->sizeHint();
    const auto* box = qobject_cast<const QGroupBox*>(&widget);
    if (!box || box->title().isEmpty()) return {};
    // The title sits inside the frame with a little room on both sides.
    const QFontMetrics fm = widget.fontMetrics();
    return {fm.horizontalAdvance(Shown(box->title())) + 16, fm.height()};
}

void Check(const QWidget& parent, const QWidget& window, std::vector<std::string>& faults) {
    std::vector<const QWidget*> shown;
    for (const QObject* child : parent.children()) {
        if (!child->isWidgetType()) continue;
        const auto* widget = static_cast<const QWidget*>(child);
        if (widget->isWindow() || !widget->isVisibleTo(&window)) continue;
        shown.push_back(widget);
    }
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const QWidget* widget = shown[i];
        const QSize needed = NeededSize(*widget);
        if (needed.width() > widget->width() || needed.height() > widget->height())
            faults.push_back(
                Name(widget) + " clips its caption: needs " + std::to_string(needed.width()) + "x" +
                std::to_string(needed.height()) + ", has " + std::to_string(widget->width()) + "x" +
                std::to_string(widget->height()));
        if (!parent.rect().contains(widget->geometry()))
            faults.push_back(Name(widget) + " reaches past the edge of " + Name(&parent));
        for (std::size_t j = i + 1; j < shown.size(); ++j)
            if (widget->geometry().intersects(shown[j]->geometry()))
                faults.push_back(Name(widget) + " overlaps " + Name(shown[j]));
        Check(*widget, window, faults);
    }
}

}  // namespace

std::vector<std::string> LayoutFaults(const QWidget& window) {
    std::vector<std::string> faults;
    Check(window, window, faults);
    return faults;
}

void EnsureQtApplication() {
    if (QApplication::instance()) return;
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: widgets of unloaded windows may still be pending deletion
    // when the process's static objects go.
    new QApplication(argc, argv);
}

void DeleteDeferredWidgets() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace varnel::testing

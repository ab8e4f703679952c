#include "tests/ui/support/layout_check.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
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
    const QFontMetrics fm = widget.fontMetrics();
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        if (label->text().isEmpty() || label->wordWrap()) return {};
        const QString text = label->buddy() ? Shown(label->text()) : label->text();
        const int margins = label->contentsMargins().left() + label->contentsMargins().right() +
                            2 * label->margin();
        return {fm.horizontalAdvance(text) + margins, fm.height()};
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        if (button->text().isEmpty()) return {};
        const QSize text(fm.horizontalAdvance(Shown(button->text())), fm.height());
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        QStyle::ContentsType type = QStyle::CT_PushButton;
        if (qobject_cast<const QCheckBox*>(button)) type = QStyle::CT_CheckBox;
        if (qobject_cast<const QRadioButton*>(button)) type = QStyle::CT_RadioButton;
        return widget.style()->sizeFromContents(type, &option, text, &widget);
    }
    if (const auto* box = qobject_cast<const QGroupBox*>(&widget)) {
        if (box->title().isEmpty()) return {};
        // The title sits inside the frame with a little room on both sides.
        return {fm.horizontalAdvance(Shown(box->title())) + 16, fm.height()};
    }
    return {};
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

}  // namespace varnel::testing

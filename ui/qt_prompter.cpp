#include "ui/qt_prompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include "base/text.h"

namespace varnel {

namespace {

// The styles' icon part, as the callers pass it.
constexpr int kIconMask = 0x70;

QMessageBox::Icon IconOf(int style) {
    switch (style & kIconMask) {
        case kStyleCritical:
            return QMessageBox::Critical;
        case kStyleQuestion:
            return QMessageBox::Question;
        case kStyleExclamation:
            return QMessageBox::Warning;
        case kStyleInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(const std::string& text, int style,
                                            const std::string& title, BoxButtons buttons,
                                            QWidget* owner) {
    auto box = std::make_unique<QMessageBox>(owner);
    box->setWindowTitle(QString::fromStdString(IsBlank(title) ? "Varnel" : title));
    box->setIcon(IconOf(style));
    // Messages are written with CR LF; a box shows plain text, never markup, so a
    // table name with '<' in it stays as it is.
    box->setTextFormat(Qt::PlainText);
    box->setText(QString::fromStdString(text).replace("\r\n", "\n"));
    if (buttons == BoxButtons::YesNo) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::Yes);
        box->setEscapeButton(QMessageBox::No);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
    }
    return box;
}

QtPrompter::QtPrompter(std::function<QWidget*()> owner) : owner_(std::move(owner)) {}

QWidget* QtPrompter::Owner() const {
    return owner_ ? owner_() : nullptr;
}

void QtPrompter::ShowMessage(const std::string& text, int style, const std::string& title) {
    MakeMessageBox(text, style, title, BoxButtons::Ok, Owner())->exec();
}

bool QtPrompter::AskYesNo(const std::string& text, const std::string& title) {
    return MakeMessageBox(text, kStyleQuestion, title, BoxButtons::YesNo, Owner())->exec() ==
           QMessageBox::Yes;
}

}  // namespace varnel

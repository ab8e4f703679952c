#include "ui/frm_progress.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "run/console_progress.h"
#include "run/run_settings.h"
#include "ui/control_state.h"
#include "warehouse/odbc.h"

namespace varnel {

//! The top-level window of FrmProgress: its title-bar close goes to the window.
class ProgressForm : public QWidget {
  public:
    explicit ProgressForm(FrmProgress* owner) : owner_(owner) {}
    void Release() { owner_ = nullptr; }

  protected:
    void closeEvent(QCloseEvent* event) override {
        // The window decides what a close means; it never just disappears mid-run.
        event->ignore();
        if (owner_) owner_->TitleBarClose();
    }

  private:
    FrmProgress* owner_;
};

//! Notes mouse and key events for the window as Qt delivers them.
class InputWatcher : public QObject {
  public:
    explicit InputWatcher(FrmProgress* owner) : owner_(owner) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
                if (IsOwnersWidget(watched)) owner_->NoteInput();
                break;
            default:
                break;
        }
        return false;
    }

  private:
    bool IsOwnersWidget(QObject* watched) const {
        QWidget* form = owner_->Form();
        if (!form || !watched->isWidgetType()) return false;
        auto* widget = static_cast<QWidget*>(watched);
        return widget == form || form->isAncestorOf(widget);
    }

    FrmProgress* owner_;
};

namespace {

// The bar's own scale: the tasks' ranges are counts of any size.
constexpr int kBarSteps = 1000;
constexpr int kMargin = 10;
constexpr int kPadding = 10;
constexpr int kGap = 6;
constexpr int kCheckSize = 16;
// Rows the task list has room for: one per task of the run.
constexpr int kTaskRows = 5;

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

QPixmap CheckMarkPixmap(qreal ratio) {
    QPixmap pixmap(QSize(kCheckSize, kCheckSize) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath tick;
    tick.moveTo(3, 8.5);
    tick.lineTo(6.5, 12);
    tick.lineTo(13, 4);
    painter.setPen(QPen(QColor(0x1e, 0x8e, 0x3e), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(tick);
    return pixmap;
}

}  // namespace

FrmProgress::FrmProgress(ProcessState& state, std::chrono::milliseconds pumpInterval)
    : state_(state),
      form_(new ProgressForm(this)),
      formGuard_(form_),
      watcher_(std::make_unique<InputWatcher>(this)),
      pumpInterval_(pumpInterval) {
    BuildControls();
    QCoreApplication::instance()->installEventFilter(watcher_.get());
}

FrmProgress::~FrmProgress() {
    if (!unloaded_) Unload();
}

QWidget* FrmProgress::Form() const {
    return formGuard_.data();
}

void FrmProgress::BuildControls() {
    ProgressForm* form = form_;
    form->setObjectName("frmProgress");
    form->setWindowTitle("Progress Of the Varnel Tool");
    const QFontMetrics fm = form->fontMetrics();
    const int rowHeight = fm.height() + 6;
    // Room for a frame's caption above its contents.
    const int titleHeight = fm.height() + 8;
    const auto advance = [&fm](const char* text) { return fm.horizontalAdvance(text); };

    const int labelWidth = std::max({advance("Server:"), advance("Database:"),
                                     advance("Start date & time:"), advance("End date & time:")}) +
                           12;
    const int valueWidth = std::max(280, advance("Wednesday, September 30 2099 23:59:59") + 8);
    const int taskWidth =
        kCheckSize + 8 + advance("Generate reports of marked unused dimension elements....") + 8;
    const int frameWidth = std::max(labelWidth + valueWidth, taskWidth) + 2 * kPadding;
    const int innerWidth = frameWidth - 2 * kPadding;
    const int windowWidth = frameWidth + 2 * kMargin;

    const auto frame = [form](QWidget* parent, const char* name, const char* title) {
        auto* box = new QGroupBox(title, parent ? parent : form);
        box->setObjectName(name);
        return box;
    };
    const auto label = [](QWidget* parent, const char* name, const char* caption) {
        auto* text = new QLabel(caption, parent);
        text->setObjectName(name);
        return text;
    };
    // A caption and its value on one row of a frame.
    const auto row = [&](QGroupBox* box, int y, QLabel*& caption, const char* captionName,
                         const char* captionText, QLabel*& value, const char* valueName) {
        caption = label(box, captionName, captionText);
        caption->setGeometry(kPadding, y, labelWidth, rowHeight);
        value = label(box, valueName, "");
        value->setGeometry(kPadding + labelWidth, y, innerWidth - labelWidth, rowHeight);
    };

    int y = kMargin;
    Frame1 = frame(nullptr, "Frame1", "Data warehouse to be checked");
    Frame1->setGeometry(kMargin, y, frameWidth, titleHeight + 2 * rowHeight + kPadding);
    row(Frame1, titleHeight, Label7, "Label7", "Server:", lblServer, "lblServer");
    row(Frame1, titleHeight + rowHeight, Label8, "Label8", "Database:", lblDatabase, "lblDatabase");
    y += Frame1->height() + kGap;

    Frame2 = frame(nullptr, "Frame2", "Date && time");
    Frame2->setGeometry(kMargin, y, frameWidth, titleHeight + 2 * rowHeight + kPadding);
    row(Frame2, titleHeight, Label1, "Label1", "Start date & time:", lblStartTime, "lblStartTime");
    row(Frame2, titleHeight + rowHeight, Label3, "Label3", "End date & time:", lblEndTime,
        "lblEndTime");
    y += Frame2->height() + kGap;

    Frame3 = frame(nullptr, "Frame3", "List of tasks");
    Frame3->setGeometry(kMargin, y, frameWidth, titleHeight + kTaskRows * rowHeight + kPadding);
    lblTaskName.push_back(label(Frame3, "lblTaskName_0", ""));
    lblTaskName[0]->setGeometry(kPadding + kCheckSize + 8, titleHeight, innerWidth - kCheckSize - 8,
                                rowHeight);
    imgChecked.push_back(label(Frame3, "imgChecked_0", ""));
    imgChecked[0]->setGeometry(kPadding, titleHeight, kCheckSize, rowHeight);
    imgChecked[0]->setAlignment(Qt::AlignCenter);
    imgChecked[0]->setPixmap(CheckMarkPixmap(form->devicePixelRatioF()));
    imgChecked[0]->hide();
    y += Frame3->height() + kGap;

    // The indicator frame as designed: the comment frame, the relation frame under
    // it, then the bar. The relation frame moves up over the comment frame below.
    const int barHeight = std::max(20, fm.height() + 6);
    const int overallHeight = titleHeight + rowHeight + kPadding;
    const int detectHeight = titleHeight + 2 * rowHeight + kPadding;
    ProgIndFrame = frame(nullptr, "ProgIndFrame", "Progress indicator");
    ProgIndFrame->setGeometry(
        kMargin, y, frameWidth,
        titleHeight + overallHeight + detectHeight + kGap + barHeight + kPadding);
    OverallProgFrame = frame(ProgIndFrame, "OverallProgFrame", "Task comments");
    OverallProgFrame->setGeometry(kPadding, titleHeight, innerWidth, overallHeight);
    lblComment = label(OverallProgFrame, "lblComment", "");
    lblComment->setGeometry(kPadding, titleHeight, innerWidth - 2 * kPadding, rowHeight);

    DetectProgFrame = frame(ProgIndFrame, "DetectProgFrame", "Relation being checked");
    DetectProgFrame->setGeometry(kPadding, titleHeight + overallHeight, innerWidth, detectHeight);
    const int tableLabelWidth =
        std::max(advance("Primary table :"), advance("Foreign table :")) + 12;
    Label2 = label(DetectProgFrame, "Label2", "Primary table :");
    Label2->setGeometry(kPadding, titleHeight, tableLabelWidth, rowHeight);
    lblPrimaryTable = label(DetectProgFrame, "lblPrimaryTable", "");
    lblPrimaryTable->setGeometry(kPadding + tableLabelWidth, titleHeight,
                                 innerWidth - 2 * kPadding - tableLabelWidth, rowHeight);
    Label4 = label(DetectProgFrame, "Label4", "Foreign table :");
    Label4->setGeometry(kPadding, titleHeight + rowHeight, tableLabelWidth, rowHeight);
    lblForeignTable = label(DetectProgFrame, "lblForeignTable", "");
    lblForeignTable->setGeometry(kPadding + tableLabelWidth, titleHeight + rowHeight,
                                 innerWidth - 2 * kPadding - tableLabelWidth, rowHeight);

    prgProgress = new QProgressBar(ProgIndFrame);
    prgProgress->setObjectName("prgProgress");
    prgProgress->setGeometry(kPadding, titleHeight + overallHeight + detectHeight + kGap,
                             innerWidth, barHeight);
    prgProgress->setRange(0, kBarSteps);
    prgProgress->setValue(0);
    prgProgress->setTextVisible(false);
    y += ProgIndFrame->height() + kGap + 2;

    const int buttonWidth = std::max(88, advance("Cancel") + 32);
    const int buttonHeight = std::max(28, fm.height() + 12);
    cmdCancel = new QPushButton("Cancel", form);
    cmdCancel->setObjectName("cmdCancel");
    cmdCancel->setGeometry(windowWidth - kMargin - buttonWidth, y, buttonWidth, buttonHeight);
    cmdOK = new QPushButton("OK", form);
    cmdOK->setObjectName("cmdOK");
    cmdOK->setGeometry(cmdCancel->x() - kGap - buttonWidth, y, buttonWidth, buttonHeight);
    cmdOK->setDefault(true);
    QObject::connect(cmdOK, &QPushButton::clicked, form, [this] { cmdOK_Click(); });
    QObject::connect(cmdCancel, &QPushButton::clicked, form, [this] { cmdCancel_Click(); });

    form->resize(windowWidth, y + buttonHeight + kMargin);

    // The relation frame takes the comment frame's place; the window's load hides
    // it until detection shows it.
    DetectProgFrame->move(DetectProgFrame->x(), OverallProgFrame->y());
}

QGroupBox* FrmProgress::FrameWidget(ProgressFrame frame) const {
    switch (frame) {
        case ProgressFrame::OverallProgFrame:
            return OverallProgFrame;
        case ProgressFrame::DetectProgFrame:
            return DetectProgFrame;
        case ProgressFrame::ProgIndFrame:
            return ProgIndFrame;
    }
    return nullptr;
}

QPushButton* FrmProgress::Button(ProgressControl control) const {
    return control == ProgressControl::cmdOK ? cmdOK : cmdCancel;
}

void FrmProgress::MoveBy(QWidget* widget, int dy) const {
    widget->move(widget->x(), widget->y() + dy);
}

bool FrmProgress::CancelPressed() const {
    // A signal is the Cancel button, as in a console run.
    return ProgressWindow::CancelPressed() || CancelSignalled();
}

void FrmProgress::PressCancel() {
    ProgressWindow::PressCancel();
    NoteInput();
}

void FrmProgress::Comment(const std::string& text) {
    ProgressWindow::Comment(text);
    SetElided(lblComment, text);
}

void FrmProgress::SetElided(QLabel* label, const std::string& text) const {
    // A long name is cut with an ellipsis and shown whole in the tool tip.
    const QString full = Text(text);
    const QString shown =
        label->fontMetrics().elidedText(full, Qt::ElideMiddle, label->contentsRect().width());
    label->setText(shown);
    label->setToolTip(shown == full ? QString() : full);
}

void FrmProgress::ShowBar() {
    const double span = static_cast<double>(ProgressMax()) - ProgressMin();
    double share = span > 0 ? (static_cast<double>(ProgressVal()) - ProgressMin()) / span : 0.0;
    share = std::clamp(share, 0.0, 1.0);
    prgProgress->setValue(static_cast<int>(std::lround(share * kBarSteps)));
}

void FrmProgress::ProgressVal(std::int32_t value) {
    ProgressWindow::ProgressVal(value);
    ShowBar();
}

void FrmProgress::ProgressMin(float minimum) {
    ProgressWindow::ProgressMin(minimum);
    ShowBar();
}

void FrmProgress::ProgressMax(float maximum) {
    ProgressWindow::ProgressMax(maximum);
    ShowBar();
}

void FrmProgress::EnableObject(ProgressControl control) {
    ProgressWindow::EnableObject(control);
    EnableControl(*Button(control));
}

void FrmProgress::DisableObject(ProgressControl control) {
    ProgressWindow::DisableObject(control);
    DisableControl(*Button(control));
}

void FrmProgress::HideFrame(ProgressFrame frame) {
    QGroupBox* box = FrameWidget(frame);
    // A hidden frame left no room to close.
    if (box->isHidden()) return;
    ProgressWindow::HideFrame(frame);
    const int height = box->height();
    box->hide();
    MoveBy(prgProgress, -height);
    ProgIndFrame->resize(ProgIndFrame->width(), ProgIndFrame->height() - height);
    MoveBy(cmdOK, -height);
    MoveBy(cmdCancel, -height);
    form_->resize(form_->width(), form_->height() - height);
}

void FrmProgress::ShowFrame(ProgressFrame frame) {
    QGroupBox* box = FrameWidget(frame);
    if (!box->isHidden()) return;
    ProgressWindow::ShowFrame(frame);
    const int height = box->height();
    MoveBy(prgProgress, height);
    ProgIndFrame->resize(ProgIndFrame->width(), ProgIndFrame->height() + height);
    MoveBy(cmdOK, height);
    MoveBy(cmdCancel, height);
    form_->resize(form_->width(), form_->height() + height);
    box->show();
}

void FrmProgress::RemoveProgIndicator() {
    if (ProgIndFrame->isHidden()) return;
    ProgressWindow::RemoveProgIndicator();
    ProgIndFrame->hide();
    cmdOK->move(cmdOK->x(), ProgIndFrame->y());
    cmdCancel->move(cmdCancel->x(), ProgIndFrame->y());
    form_->resize(form_->width(), form_->height() - ProgIndFrame->height());
}

void FrmProgress::PumpEvents() {
    lastPump_ = std::chrono::steady_clock::now();
    QCoreApplication::processEvents();
}

void FrmProgress::ProcessEvents() {
    PumpEvents();
    if (!CancelSignalled()) return;
    // The run has seen the cancel and stops on its own; its clean-up runs in full.
    SettleStatementCancel();
    PressCancel();
}

void FrmProgress::Refresh() {
    // Paints what changed; clicks and keys wait for the next poll that looks for them.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool FrmProgress::InputPending() {
    if (CancelSignalled()) return true;
    // NOTE: Qt 6 cannot tell whether input waits without delivering it, so the
    // window's events run now and then, and the watcher notes the input they carry.
    if (std::chrono::steady_clock::now() - lastPump_ >= pumpInterval_) PumpEvents();
    const bool seen = inputSeen_;
    inputSeen_ = false;
    return seen;
}

void FrmProgress::AddTaskRow(const std::string& caption, std::int16_t& index) {
    const auto row = static_cast<std::size_t>(index);
    while (lblTaskName.size() <= row) {
        const QLabel* previous = lblTaskName.back();
        const std::string number = std::to_string(lblTaskName.size());
        auto* name = new QLabel(Frame3);
        name->setObjectName(Text("lblTaskName_" + number));
        name->setGeometry(previous->x(), previous->y() + previous->height(), previous->width(),
                          previous->height());
        name->show();
        auto* image = new QLabel(Frame3);
        image->setObjectName(Text("imgChecked_" + number));
        image->setGeometry(imgChecked[0]->x(), name->y(), imgChecked[0]->width(),
                           imgChecked[0]->height());
        image->setAlignment(Qt::AlignCenter);
        image->setPixmap(imgChecked[0]->pixmap());
        image->hide();
        lblTaskName.push_back(name);
        imgChecked.push_back(image);
    }
    ProgressWindow::AddTaskRow(caption, index);
    lblTaskName[row]->setText(Text(caption));
}

void FrmProgress::TaskCaption(std::size_t index, const std::string& caption) {
    ProgressWindow::TaskCaption(index, caption);
    lblTaskName.at(index)->setText(Text(caption));
}

void FrmProgress::ShowCheckMark(std::size_t index) {
    ProgressWindow::ShowCheckMark(index);
    imgChecked.at(index)->show();
}

void FrmProgress::ServerLabel(const std::string& text) {
    ProgressWindow::ServerLabel(text);
    SetElided(lblServer, text);
}

void FrmProgress::DatabaseLabel(const std::string& text) {
    ProgressWindow::DatabaseLabel(text);
    SetElided(lblDatabase, text);
}

void FrmProgress::StartTimeLabel(const std::string& text) {
    ProgressWindow::StartTimeLabel(text);
    lblStartTime->setText(Text(text));
}

void FrmProgress::EndTimeLabel(const std::string& text) {
    ProgressWindow::EndTimeLabel(text);
    lblEndTime->setText(Text(text));
}

void FrmProgress::PrimaryTableLabel(const std::string& text) {
    ProgressWindow::PrimaryTableLabel(text);
    SetElided(lblPrimaryTable, text);
}

void FrmProgress::ForeignTableLabel(const std::string& text) {
    ProgressWindow::ForeignTableLabel(text);
    SetElided(lblForeignTable, text);
}

void FrmProgress::Show() {
    if (const QScreen* screen = form_->screen()) {
        const QRect area = screen->availableGeometry();
        form_->move(area.x() + (area.width() - form_->width()) / 2,
                    area.y() + (area.height() - form_->height()) / 2);
    }
    form_->show();
}

void FrmProgress::Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    if (!QCoreApplication::instance()) return;  // the process is ending without windows
    QCoreApplication::instance()->removeEventFilter(watcher_.get());
    if (formGuard_) {
        // The widgets may be in the middle of delivering the click that unloads them.
        form_->Release();
        cmdOK->disconnect();
        cmdCancel->disconnect();
        form_->hide();
        form_->deleteLater();
    }
}

void FrmProgress::cmdOK_Click() {
    ProcessState& state = state_;  // a member no longer once the window is unloaded
    if (state.ActiveProgressWindow() == this)
        state.UnloadProgressWindow();  // this object is gone from here on
    else
        Unload();
    if (!state.CommandLineMode && state.MainWindow) state.MainWindow->ShowMainWindow();
}

void FrmProgress::cmdCancel_Click() {
    PressCancel();
}

void FrmProgress::TitleBarClose() {
    // While the tasks run the title-bar close is Cancel; once they are done it is OK.
    if (unloaded_) return;
    if (Enabled(ProgressControl::cmdOK))
        cmdOK_Click();
    else if (Enabled(ProgressControl::cmdCancel))
        cmdCancel_Click();
}

}  // namespace varnel

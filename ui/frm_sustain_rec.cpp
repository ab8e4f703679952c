#include "ui/frm_sustain_rec.h"

#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <algorithm>
#include <exception>

#include "base/text.h"
#include "run/prompter.h"
#include "tasks/archiving/fact_conditions.h"
#include "tasks/dimension_checks/dimension_checks.h"
#include "tasks/dimension_checks/records_query.h"
#include "ui/choosers.h"
#include "ui/dialogs.h"
#include "ui/list_helpers.h"
#include "ui/wait_cursor.h"
#include "warehouse/list_columns.h"

namespace varnel {

namespace {

constexpr int kDesignWidth = 640;
// Inner margin of the frames.
constexpr int kInset = 10;
// The dialog's height: the larger one when the screen has room for it.
constexpr int kTallScreenTwips = 11000;
constexpr int kTallHeightTwips = 9900;
constexpr int kShortHeightTwips = 8700;

QPushButton* Button(QWidget* parent, const char* name, const char* caption, int width, int height) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->resize(width, height);
    return button;
}

QLabel* Label(QWidget* parent, const char* name, const char* caption) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    return label;
}

std::int16_t Short(int value) {
    return static_cast<std::int16_t>(std::clamp<int>(value, INT16_MIN, INT16_MAX));
}

// Shows a busy pointer over a list while the object lives.
class BusyList {
  public:
    explicit BusyList(QTreeWidget& list) : list_(list) { list_.setCursor(Qt::BusyCursor); }
    ~BusyList() { list_.unsetCursor(); }
    BusyList(const BusyList&) = delete;
    BusyList& operator=(const BusyList&) = delete;

  private:
    QTreeWidget& list_;
};

}  // namespace

void DropDownList::showPopup() {
    if (DropDown) DropDown();
    QComboBox::showPopup();
}

FrmSustainRec::FrmSustainRec(Connection& warehouse, Prompter& prompter, QWidget* parent,
                             std::optional<QSize> screenSize)
    : QDialog(parent), warehouse_(warehouse), prompter_(prompter) {
    setObjectName("frmSustainRec");
    setWindowTitle("Dimension Checks");
    BuildControls();
    Form_Load(screenSize);
}

FrmSustainRec::~FrmSustainRec() = default;

void FrmSustainRec::BuildControls() {
    const QFontMetrics fm = fontMetrics();
    const int lineHeight = fm.height() + 4;
    const int titleHeight = fm.height() + 10;
    const int comboHeight = std::max(24, fm.height() + 10);
    buttonHeight_ = std::max(26, fm.height() + 12);
    buttonWidth_ = std::max(110, fm.horizontalAdvance("Save Selection") + 32);
    const int width = kDesignWidth;
    const int frameWidth = width - 2 * margin_;
    const int listWidth = frameWidth - 2 * kInset - buttonWidth_ - gap_;

    // The tables: a label, the list and its two buttons to the right.
    fraDimensionTables = new QGroupBox("Dimension tables", this);
    fraDimensionTables->setObjectName("fraDimensionTables");
    lblDimensionTables = Label(fraDimensionTables, "lblDimensionTables",
                               "Select dimension tables to mark their unused elements:");
    lblDimensionTables->setGeometry(kInset, titleHeight, frameWidth - 2 * kInset, lineHeight);
    lvwDimensionTables = MakeCheckList(fraDimensionTables, "lvwDimensionTables");
    lvwDimensionTables->header()->setStretchLastSection(true);
    const int tablesTop = titleHeight + lineHeight + 4;
    const int tablesHeight = std::max(100, 2 * buttonHeight_ + gap_);
    lvwDimensionTables->setGeometry(kInset, tablesTop, listWidth, tablesHeight);
    cmdSelectAll =
        Button(fraDimensionTables, "cmdSelectAll", "&Select All", buttonWidth_, buttonHeight_);
    cmdUnselectAll =
        Button(fraDimensionTables, "cmdUnselectAll", "C&lear All", buttonWidth_, buttonHeight_);
    fraDimensionTables->setGeometry(margin_, margin_, frameWidth,
                                    tablesTop + tablesHeight + kInset);

    int y = fraDimensionTables->y() + fraDimensionTables->height() + gap_;
    fraSeparate = new QFrame(this);
    fraSeparate->setObjectName("fraSeparate");
    fraSeparate->setFrameShape(QFrame::HLine);
    fraSeparate->setFrameShadow(QFrame::Sunken);
    fraSeparate->setGeometry(0, y, width, 2);
    y += 2 + gap_;

    // The records: the table, the query with its two buttons, the records list
    // with its three buttons.
    fraSustain = new QGroupBox("Records to keep", this);
    fraSustain->setObjectName("fraSustain");
    lblSelectedTables = Label(fraSustain, "lblSelectedTables",
                              "Select a table for which you want to define a query:");
    const int labelWidth = fm.horizontalAdvance(lblSelectedTables->text()) + 8;
    lblSelectedTables->setGeometry(kInset, titleHeight + (comboHeight - lineHeight) / 2, labelWidth,
                                   lineHeight);
    cboSelectedTables = new DropDownList(fraSustain);
    cboSelectedTables->setObjectName("cboSelectedTables");
    cboSelectedTables->setGeometry(kInset + labelWidth + gap_, titleHeight,
                                   std::min(240, frameWidth - 2 * kInset - labelWidth - gap_),
                                   comboHeight);
    int inner = titleHeight + comboHeight + 8;
    lblWhereClause =
        Label(fraSustain, "lblWhereClause", "Query to show records to be (un)marked to keep:");
    lblWhereClause->setGeometry(kInset, inner, frameWidth - 2 * kInset, lineHeight);
    inner += lineHeight + 2;
    txtWhereClause = new QPlainTextEdit(fraSustain);
    txtWhereClause->setObjectName("txtWhereClause");
    const int textHeight = std::max(3 * fm.lineSpacing() + 12, 2 * buttonHeight_ + gap_);
    txtWhereClause->setGeometry(kInset, inner, listWidth, textHeight);
    cmdParseQuery =
        Button(fraSustain, "cmdParseQuery", "&Parse Query", buttonWidth_, buttonHeight_);
    cmdExecuteQuery =
        Button(fraSustain, "cmdExecuteQuery", "&Run Query", buttonWidth_, buttonHeight_);
    inner += textHeight + 8;
    lblRecords = Label(fraSustain, "lblRecords", "Select the records to be kept:");
    lblRecords->setGeometry(kInset, inner, frameWidth - 2 * kInset, lineHeight);
    inner += lineHeight + 2;
    lvwDimensionRecords = MakeCheckList(fraSustain, "lvwDimensionRecords");
    lvwDimensionRecords->header()->setSectionsClickable(true);
    lvwDimensionRecords->setGeometry(kInset, inner, listWidth, 3 * buttonHeight_ + 2 * gap_);
    cmdSustainAll = Button(fraSustain, "cmdSustainAll", "Select &All", buttonWidth_, buttonHeight_);
    cmdUnsustainAll =
        Button(fraSustain, "cmdUnsustainAll", "Clea&r All", buttonWidth_, buttonHeight_);
    cmdSaveSelection =
        Button(fraSustain, "cmdSaveSelection", "Sa&ve Selection", buttonWidth_, buttonHeight_);
    fraSustain->setGeometry(margin_, y, frameWidth, inner + lvwDimensionRecords->height() + kInset);

    cmdOK = Button(this, "cmdOK", "OK", std::max(88, buttonWidth_ - 20), buttonHeight_);
    cmdOK->setDefault(true);
    cmdCancel = Button(this, "cmdCancel", "Cancel", cmdOK->width(), buttonHeight_);
    resize(width, fraSustain->y() + fraSustain->height() + gap_ + buttonHeight_ + margin_);

    connect(cmdSelectAll, &QPushButton::clicked, this, &FrmSustainRec::cmdSelectAll_Click);
    connect(cmdUnselectAll, &QPushButton::clicked, this, &FrmSustainRec::cmdUnselectAll_Click);
    connect(cmdSustainAll, &QPushButton::clicked, this, &FrmSustainRec::cmdSustainAll_Click);
    connect(cmdUnsustainAll, &QPushButton::clicked, this, &FrmSustainRec::cmdUnsustainAll_Click);
    connect(cmdSaveSelection, &QPushButton::clicked, this, &FrmSustainRec::cmdSaveSelection_Click);
    connect(cmdParseQuery, &QPushButton::clicked, this, &FrmSustainRec::cmdParseQuery_Click);
    connect(cmdExecuteQuery, &QPushButton::clicked, this, &FrmSustainRec::cmdExecuteQuery_Click);
    connect(cmdOK, &QPushButton::clicked, this, &FrmSustainRec::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &FrmSustainRec::cmdCancel_Click);
    cboSelectedTables->DropDown = [this] { cboSelectedTables_DropDown(); };
    connect(cboSelectedTables, &QComboBox::activated, this,
            [this](int) { cboSelectedTables_Click(); });
    connect(lvwDimensionRecords->header(), &QHeaderView::sectionClicked, this,
            &FrmSustainRec::lvwDimensionRecords_ColumnClick);
}

void FrmSustainRec::Form_Load(std::optional<QSize> screenSize) {
    QRect screen(QPoint(0, 0), screenSize.value_or(QSize()));
    if (!screenSize) {
        const QScreen* primary = QGuiApplication::primaryScreen();
        screen = primary ? primary->availableGeometry() : QRect(0, 0, 1024, 768);
    }
    const double dpi = logicalDpiY();
    const bool tall = screen.height() * 1440.0 / dpi >= kTallScreenTwips;
    const int height = TwipsToPixels(tall ? kTallHeightTwips : kShortHeightTwips, dpi);
    resize(width(), std::max(height, this->height()));
    setMinimumSize(size());
    move(screen.x() + (screen.width() - width()) / 2, screen.y() + (screen.height() - height) / 2);
    resize_.FormLeft(Short(x()));
    resize_.FormTop(Short(y()));
    resize_.FormWidth(Short(width()));
    resize_.FormHeight(Short(this->height()));
    resize_.ButtonsGap(gap_);
    loaded_ = true;
    ResizeControls();

    WaitCursor wait;
    try {
        if (!warehouse_.IsOpen()) warehouse_.Reopen();
    } catch (const std::exception& error) {
        wait.Restore();
        prompter_.ShowMessage(error.what(), kStylePlain, "Varnel");
        return;
    }
    std::vector<DimensionTableItem> tables;
    std::string message;
    if (!LoadDimensionTables(warehouse_, tables, message)) {
        wait.Restore();
        prompter_.ShowMessage(message, kStylePlain, "Varnel");
        return;
    }
    lvwDimensionTables->setHeaderLabels({"Table Name"});
    FillTableList(tables, *lvwDimensionTables);
}

void FrmSustainRec::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (loaded_) ResizeControls();
}

void FrmSustainRec::ResizeControls() {
    ClsAlign left, top, bottom, right;
    // The separator divides the room between the two frames in the design's proportion.
    resize_.ResizeStandard(*fraSeparate, *this);

    left.WithGap(margin_);
    top.WithGap(margin_);
    right.WithGap(margin_);
    bottom.ToCtrl(fraSeparate);
    bottom.WithGap(gap_);
    resize_.ResizeRelative(*fraDimensionTables, *this, &left, &top, &bottom, &right, true, true);

    // Inside a frame: lists and texts fill it up to the column of buttons on the right.
    ClsAlign besideButtons, frameEdge, frameBottom;
    besideButtons.WithGap(kInset + buttonWidth_ + gap_);
    frameEdge.WithGap(kInset);
    frameBottom.WithGap(kInset);
    resize_.ResizeRelative(*lblDimensionTables, *fraDimensionTables, nullptr, nullptr, nullptr,
                           &frameEdge, true, false);
    resize_.ResizeRelative(*lvwDimensionTables, *fraDimensionTables, nullptr, nullptr, &frameBottom,
                           &besideButtons, true, true);
    resize_.RelocateCmdButton(*cmdSelectAll, *lvwDimensionTables, 5);
    resize_.RelocateCmdButton(*cmdUnselectAll, *cmdSelectAll, 1);

    top.Reset();
    top.ToCtrl(fraSeparate);
    top.WithGap(gap_);
    bottom.Reset();
    bottom.WithGap(margin_ + buttonHeight_ + gap_);
    resize_.ResizeRelative(*fraSustain, *this, &left, &top, &bottom, &right, true, true);
    resize_.ResizeRelative(*lblWhereClause, *fraSustain, nullptr, nullptr, nullptr, &frameEdge,
                           true, false);
    resize_.ResizeRelative(*txtWhereClause, *fraSustain, nullptr, nullptr, nullptr, &besideButtons,
                           true, false);
    resize_.RelocateCmdButton(*cmdParseQuery, *txtWhereClause, 5);
    resize_.RelocateCmdButton(*cmdExecuteQuery, *cmdParseQuery, 1);
    resize_.ResizeRelative(*lblRecords, *fraSustain, nullptr, nullptr, nullptr, &frameEdge, true,
                           false);
    resize_.ResizeRelative(*lvwDimensionRecords, *fraSustain, nullptr, nullptr, &frameBottom,
                           &besideButtons, true, true);
    resize_.RelocateCmdButton(*cmdSustainAll, *lvwDimensionRecords, 5);
    resize_.RelocateCmdButton(*cmdUnsustainAll, *cmdSustainAll, 1);
    resize_.RelocateCmdButton(*cmdSaveSelection, *cmdUnsustainAll, 1);

    resize_.RelocateCmdButton(*cmdCancel, *fraSustain, 3);
    resize_.RelocateCmdButton(*cmdOK, *cmdCancel, 4);
}

void FrmSustainRec::ClearRecords() {
    RecordsRecordset.reset();
    lvwDimensionRecords->clear();
    lvwDimensionRecords->setColumnCount(0);
}

void FrmSustainRec::cboSelectedTables_DropDown() {
    cboSelectedTables->clear();
    for (const auto& table : ListedTables(*lvwDimensionTables))
        if (table.Selected) cboSelectedTables->addItem(QString::fromStdString(table.Name));
}

void FrmSustainRec::cboSelectedTables_Click() {
    const std::string table = cboSelectedTables->currentText().toStdString();
    if (IsBlank(table)) return;
    txtWhereClause->setPlainText(QString::fromStdString(TableRecordsQuery(table)));
    // The records of the table shown before go, with their unsaved ticks.
    ClearRecords();
    RecordsQuery.clear();
    WaitCursor wait;
    try {
        QStringList captions;
        for (const auto& name : TableListHeaders(warehouse_, table))
            captions << QString::fromStdString(name);
        lvwDimensionRecords->setColumnCount(static_cast<int>(captions.size()));
        lvwDimensionRecords->setHeaderLabels(captions);
    } catch (const std::exception& error) {
        wait.Restore();
        prompter_.ShowMessage(error.what(), kStylePlain, "Varnel");
    }
}

void FrmSustainRec::cmdParseQuery_Click() {
    const std::string query = txtWhereClause->toPlainText().toStdString();
    if (IsBlank(query)) {
        prompter_.ShowMessage("No Query to Parse", kStylePlain, "Varnel");
        return;
    }
    WaitCursor wait;
    std::string message;
    const bool compiled = TestConditionSyntax(query, warehouse_, message);
    wait.Restore();
    prompter_.ShowMessage(compiled ? "The Query was compiled successfully" : message, kStylePlain,
                          "Varnel");
}

void FrmSustainRec::cmdExecuteQuery_Click() {
    const std::string query = txtWhereClause->toPlainText().toStdString();
    if (IsBlank(query)) {
        prompter_.ShowMessage("Please enter the SQL Query first.", kStylePlain, "Varnel");
        return;
    }
    if (IsJoinQuery(query)) {
        prompter_.ShowMessage("Join Queries are not allowed", kStylePlain, "Varnel");
        return;
    }
    if (!prompter_.AskYesNo("Do you wish to execute this query?", "Query Execution")) return;
    std::string message;
    const auto statement = RebuildRecordsQuery(query, message);
    if (!statement) {
        prompter_.ShowMessage(message, kStylePlain, "Varnel");
        return;
    }
    ClearRecords();
    WaitCursor wait;
    BusyList busy(*lvwDimensionRecords);
    RecordsRecordset =
        OpenIntoControl(*lvwDimensionRecords, warehouse_, *statement, false, prompter_);
    RecordsQuery = *statement;
}

void FrmSustainRec::lvwDimensionRecords_ColumnClick(int column) {
    // Before a query has run the list shows the table's columns, but no records to sort.
    if (RecordsQuery.empty() || column < 0 || column >= lvwDimensionRecords->columnCount()) return;
    const std::string caption = lvwDimensionRecords->headerItem()->text(column).toStdString();
    BusyList busy(*lvwDimensionRecords);
    RecordsRecordset.reset();
    RecordsRecordset =
        FillListSorted(*lvwDimensionRecords, warehouse_, RecordsQuery, caption, prompter_);
}

void FrmSustainRec::cmdSelectAll_Click() {
    CheckAllItems(*lvwDimensionTables);
}

void FrmSustainRec::cmdUnselectAll_Click() {
    UncheckAllItems(*lvwDimensionTables);
}

void FrmSustainRec::cmdSustainAll_Click() {
    CheckAllItems(*lvwDimensionRecords);
}

void FrmSustainRec::cmdUnsustainAll_Click() {
    UncheckAllItems(*lvwDimensionRecords);
}

void FrmSustainRec::cmdSaveSelection_Click() {
    WaitCursor wait;
    SaveCheckedSelection(*lvwDimensionRecords, warehouse_,
                         RecordsRecordset ? &*RecordsRecordset : nullptr, prompter_);
}

void FrmSustainRec::cmdOK_Click() {
    WaitCursor wait;
    const bool saved = SaveCheckedSelection(*lvwDimensionTables, warehouse_, prompter_);
    wait.Restore();
    // The dialog closes either way; the caller learns whether the selection is stored.
    saved ? accept() : reject();
}

void FrmSustainRec::cmdCancel_Click() {
    reject();
}

bool ShowSustainRec(QWidget* owner, Connection& warehouse, Prompter& prompter, Choosers& choosers) {
    FrmSustainRec dialog(warehouse, prompter, owner);
    return choosers.RunModal(dialog) == QDialog::Accepted;
}

}  // namespace varnel

#include "ui/frm_set_fact_table_filters.h"

#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "base/text.h"
#include "run/prompter.h"
#include "run/run_settings.h"
#include "tasks/archiving/archive_connection_rules.h"
#include "ui/choosers.h"
#include "ui/connection_panel.h"
#include "ui/dialogs.h"
#include "ui/form_layout.h"
#include "ui/wait_cursor.h"

namespace varnel {

namespace {

constexpr int kConditionColumn = 1;
constexpr int kMargin = 10;
constexpr int kGridHeight = 170;
// Room the last column leaves at the grid's right edge, for the scroll bar.
constexpr int kLastColumnMarginTwips = 200;

QString Text(const std::optional<std::string>& text) {
    return QString::fromStdString(text.value_or(""));
}

}  // namespace

// ---------------------------------------------------------------- the grid's model

void ConditionRowsModel::SetRows(ConditionRows rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int ConditionRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ConditionRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant ConditionRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
    const auto& row = rows_.at(static_cast<std::size_t>(index.row()));
    return index.column() == 0 ? Text(row.TableName) : Text(row.WhereClause);
}

bool ConditionRowsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != kConditionColumn || role != Qt::EditRole)
        return false;
    auto& condition = rows_.at(static_cast<std::size_t>(index.row())).WhereClause;
    const std::string text = value.toString().toStdString();
    if (condition.value_or("") == text && condition.has_value()) return true;
    condition = text;
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    emit ConditionEdited(index.row());
    return true;
}

Qt::ItemFlags ConditionRowsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return index.column() == kConditionColumn ? flags | Qt::ItemIsEditable : flags;
}

QVariant ConditionRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    return section == 0 ? QStringLiteral("Table Name") : QStringLiteral("Condition(s)");
}

void ConditionGrid::CommitOpenEditor() {
    if (state() != QAbstractItemView::EditingState) return;
    // An open cell editor is kept as the index's widget until it closes.
    QWidget* editor = indexWidget(currentIndex());
    if (editor == nullptr) return;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

// ---------------------------------------------------------------- the dialog

FrmSetFactTableFilters::FrmSetFactTableFilters(Connection& warehouse, bool configMode,
                                               RunSettings& savedSettings, Prompter& prompter,
                                               Choosers& choosers, QWidget* parent)
    : QDialog(parent),
      warehouse_(warehouse),
      configMode_(configMode),
      savedSettings_(savedSettings),
      prompter_(prompter),
      choosers_(choosers) {
    setObjectName("frmSetFactTableFilters");
    setWindowTitle("Fact Table Conditions for Archiving");
    BuildControls();
    Form_Load();
}

FrmSetFactTableFilters::~FrmSetFactTableFilters() = default;

void FrmSetFactTableFilters::BuildControls() {
    const QFontMetrics fm = fontMetrics();
    const int lineHeight = fm.height() + 4;
    const int buttonHeight = std::max(26, fm.height() + 12);
    const int buttonWidth = std::max(88, fm.horizontalAdvance("Cancel") + 32);

    uscConnectArchive = new ConnectionPanel(choosers_);
    uscConnectArchive->setObjectName("uscConnectArchive");
    uscConnectArchive->AllowNewFile();
    const int frameInset = 12;
    const int frameTitle = fm.height() + 10;
    const int width = std::max(600, uscConnectArchive->width() + 2 * frameInset + 2 * kMargin + 40);
    const int inner = width - 2 * kMargin;

    int y = kMargin;
    const auto label = [&](const char* name, const char* caption, bool wrap) {
        auto* text = new QLabel(caption, this);
        text->setObjectName(name);
        text->setWordWrap(wrap);
        const int height = wrap ? text->heightForWidth(inner) : lineHeight;
        text->setGeometry(kMargin, y, inner, height);
        y += height;
        return text;
    };
    lblDirections[0] = label("lblDirections0",
                             "You can remove fact table data from the data warehouse and store "
                             "it in an archive database. The records that meet the conditions "
                             "are archived.",
                             true);
    y += 6;
    lblDirections[3] = label("lblDirections3", "- Specify the condition(s) per fact table.", false);
    lblDirections[1] = label("lblDirections1", "- Use single quotes for string values.", false);
    lblDirections[2] =
        label("lblDirections2",
              "- To exclude a table from archiving, leave the Condition field empty.", false);
    y += 8;

    dgdFactTables = new ConditionGrid(this);
    dgdFactTables->setObjectName("dgdFactTables");
    dgdFactTables->setModel(&model_);
    dgdFactTables->verticalHeader()->hide();
    dgdFactTables->setSelectionMode(QAbstractItemView::SingleSelection);
    dgdFactTables->setSelectionBehavior(QAbstractItemView::SelectItems);
    dgdFactTables->horizontalHeader()->setStretchLastSection(false);
    dgdFactTables->setGeometry(kMargin, y, inner, kGridHeight);
    dgdFactTables->setColumnWidth(0, inner / 3);
    y += kGridHeight + 10;

    fraSeparator = new QFrame(this);
    fraSeparator->setObjectName("fraSeparator");
    fraSeparator->setFrameShape(QFrame::HLine);
    fraSeparator->setFrameShadow(QFrame::Sunken);
    fraSeparator->setGeometry(kMargin, y, inner, 2);
    y += 2 + 10;

    lblExplanation = label("lblExplanation",
                           "Specify the connection settings of the archive database, where to "
                           "store the removed fact table records.",
                           true);
    y += 8;

    fraAuthentication = new QGroupBox("Select archive database", this);
    fraAuthentication->setObjectName("fraAuthentication");
    uscConnectArchive->setParent(fraAuthentication);
    uscConnectArchive->move(frameInset, frameTitle);
    fraAuthentication->setGeometry(kMargin, y, uscConnectArchive->width() + 2 * frameInset,
                                   frameTitle + uscConnectArchive->height() + frameInset);
    y += fraAuthentication->height() + 12;

    cmdCancel = new QPushButton("Cancel", this);
    cmdCancel->setObjectName("cmdCancel");
    cmdCancel->setGeometry(width - kMargin - buttonWidth, y, buttonWidth, buttonHeight);
    cmdOK = new QPushButton("OK", this);
    cmdOK->setObjectName("cmdOK");
    cmdOK->setDefault(true);
    cmdOK->setGeometry(cmdCancel->x() - 8 - buttonWidth, y, buttonWidth, buttonHeight);
    y += buttonHeight + kMargin;

    resize(width, y);
    setMinimumSize(width, y);
    designSize_ = size();
    for (QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        design_[control] = control->geometry();

    connect(cmdOK, &QPushButton::clicked, this, &FrmSetFactTableFilters::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &FrmSetFactTableFilters::cmdCancel_Click);
    connect(dgdFactTables->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int) { dgdFactTables_ColResize(column); });
    // The test runs once the edit is in the model, not while the editor is closing.
    connect(&model_, &ConditionRowsModel::ConditionEdited, this, [this](int row) {
        if (committingForOk_) return;
        QTimer::singleShot(0, this, [this, row] { dgdFactTables_AfterColUpdate(row); });
    });
}

void FrmSetFactTableFilters::Form_Load() {
    std::string message;
    ConditionRows rows;
    if (!LoadFactConditions(rows, warehouse_, message)) {
        if (!IsBlank(message)) prompter_.ShowMessage(message, kStylePlain, "Varnel");
        loadFailed_ = true;
        return;
    }
    model_.SetRows(std::move(rows));
    dgdFactTables_ColResize(0);

    if (configMode_) {
        uscConnectArchive->SetServer(savedSettings_.ArchiveServer);
        uscConnectArchive->SetDatabase(savedSettings_.ArchiveDatabase);
        uscConnectArchive->SetWindowsAuth(savedSettings_.ArchiveWindowsAuth);
        uscConnectArchive->SetUserName(savedSettings_.ArchiveUserName);
        uscConnectArchive->SetPassword(savedSettings_.ArchivePassword);
    } else {
        ArchiveLogin login;
        if (ReadArchiveLogin(warehouse_, login, message)) {
            uscConnectArchive->SetServer(login.Server);
            uscConnectArchive->SetDatabase(login.Database);
            uscConnectArchive->SetWindowsAuth(login.SecureLogin);
            uscConnectArchive->SetUserName(login.UserName);
            uscConnectArchive->SetPassword(login.Password);
        } else {
            prompter_.ShowMessage(message, kStylePlain, "Varnel");
        }
    }
    // Only one of the two logins may be the operator's own.
    if (warehouse_.Target().WindowsAuthentication) uscConnectArchive->SetWindowsAuth(false);
    loadFailed_ = false;
}

void FrmSetFactTableFilters::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Closing from inside the show would come before the dialog's event loop runs.
    QTimer::singleShot(0, this, &FrmSetFactTableFilters::Form_Activate);
}

void FrmSetFactTableFilters::Form_Activate() {
    if (loadFailed_) {
        cmdCancel_Click();
        return;
    }
    const QModelIndex current = dgdFactTables->currentIndex();
    dgdFactTables->setCurrentIndex(
        model_.index(current.isValid() ? current.row() : 0, kConditionColumn));
}

std::string FrmSetFactTableFilters::ConditionStatement(int row) const {
    const auto& condition = model_.Rows().at(static_cast<std::size_t>(row));
    return "select * from " + condition.TableName.value_or("") + " where " +
           condition.WhereClause.value_or("");
}

void FrmSetFactTableFilters::dgdFactTables_AfterColUpdate(int row) {
    if (row < 0 || row >= model_.rowCount()) return;
    WaitCursor wait;
    const auto& condition = model_.Rows().at(static_cast<std::size_t>(row)).WhereClause;
    if (IsBlank(condition.value_or(""))) return;
    std::string message;
    if (!TestConditionSyntax(ConditionStatement(row), warehouse_, message)) {
        wait.Restore();
        prompter_.ShowMessage(message, kStylePlain, "Varnel");
    }
}

void FrmSetFactTableFilters::dgdFactTables_ColResize(int column) {
    const int last = model_.columnCount() - 1;
    if (column == last) return;
    const int margin = TwipsToPixels(kLastColumnMarginTwips, logicalDpiX());
    const int left = dgdFactTables->frameWidth() + dgdFactTables->columnViewportPosition(last);
    const int width = dgdFactTables->width() - left - margin;
    if (width > 0 && dgdFactTables->columnWidth(last) != width)
        dgdFactTables->setColumnWidth(last, width);
}

void FrmSetFactTableFilters::cmdOK_Click() {
    WaitCursor wait;
    committingForOk_ = true;
    dgdFactTables->CommitOpenEditor();
    committingForOk_ = false;

    for (int row = 0; row < model_.rowCount(); ++row) {
        dgdFactTables->setCurrentIndex(model_.index(row, kConditionColumn));
        const auto& current = model_.Rows().at(static_cast<std::size_t>(row));
        const std::string condition = current.WhereClause.value_or("");
        if (IsBlank(condition)) continue;
        std::string message;
        if (!TestConditionSyntax(ConditionStatement(row), warehouse_, message)) {
            wait.Restore();
            prompter_.ShowMessage(
                "Condition '" + condition + "' of table '" + current.TableName.value_or("") +
                    "' cannot be parsed, because:\r\n[" + message + "]\r\n\r\nPlease correct.",
                kStyleExclamation, "Parse Condition");
            return;
        }
    }

    std::string message;
    if (!SaveFactConditions(model_.Rows(), warehouse_, message)) {
        wait.Restore();
        prompter_.ShowMessage(message, kStylePlain, "Varnel");
        return;
    }
    wait.Restore();
    if (!ValidateArchiveConnection()) return;

    const ArchiveLogin login = ArchiveSettings();
    if (configMode_) {
        savedSettings_.ArchiveServer = login.Server;
        savedSettings_.ArchiveWindowsAuth = login.SecureLogin;
        savedSettings_.ArchiveUserName = login.UserName;
        savedSettings_.ArchivePassword = login.Password;
        savedSettings_.ArchiveDatabase = login.Database;
    } else if (!WriteArchiveLogin(warehouse_, login, message)) {
        prompter_.ShowMessage(message, kStylePlain, "Varnel");
        return;
    }
    accept();
}

void FrmSetFactTableFilters::cmdCancel_Click() {
    reject();
}

ArchiveLogin FrmSetFactTableFilters::ArchiveSettings() const {
    return {uscConnectArchive->Server(), uscConnectArchive->WindowsAuth(),
            uscConnectArchive->UserName(), uscConnectArchive->Password(),
            uscConnectArchive->Database()};
}

bool FrmSetFactTableFilters::ValidateArchiveConnection() {
    const std::string problem =
        varnel::ValidateArchiveConnection(warehouse_.Target(), ArchiveSettings());
    if (problem.empty()) return true;
    prompter_.ShowMessage(problem, kStylePlain, "Varnel");
    return false;
}

void FrmSetFactTableFilters::ResizeFormElement(QWidget& ctlToBeResized, bool blnBelowGrid,
                                               std::optional<int> intCmdLeft) {
    const auto found = design_.find(&ctlToBeResized);
    if (found == design_.end()) return;
    const QRect design = found->second;
    const int grow = width() - designSize_.width();
    const int rise = height() - designSize_.height();
    if (&ctlToBeResized == dgdFactTables) {
        ctlToBeResized.setGeometry(design.x(), design.y(), design.width() + grow,
                                   design.height() + rise);
    } else if (intCmdLeft) {
        ctlToBeResized.move(width() - *intCmdLeft, design.y() + (blnBelowGrid ? rise : 0));
    } else if (&ctlToBeResized == fraAuthentication) {
        // The archive settings keep their size; only their place follows the grid.
        ctlToBeResized.move(design.x(), design.y() + (blnBelowGrid ? rise : 0));
    } else {
        ctlToBeResized.setGeometry(design.x(), design.y() + (blnBelowGrid ? rise : 0),
                                   design.width() + grow, design.height());
    }
}

void FrmSetFactTableFilters::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (design_.empty()) return;
    for (QLabel* label : lblDirections) ResizeFormElement(*label, false);
    ResizeFormElement(*dgdFactTables, false);
    ResizeFormElement(*fraSeparator, true);
    ResizeFormElement(*lblExplanation, true);
    ResizeFormElement(*fraAuthentication, true);
    ResizeFormElement(*cmdOK, true, designSize_.width() - design_[cmdOK].x());
    ResizeFormElement(*cmdCancel, true, designSize_.width() - design_[cmdCancel].x());
    dgdFactTables_ColResize(0);
}

bool ShowFactTableFilters(QWidget* owner, Connection& warehouse, bool configMode,
                          RunSettings& savedSettings, Prompter& prompter, Choosers& choosers) {
    FrmSetFactTableFilters dialog(warehouse, configMode, savedSettings, prompter, choosers, owner);
    return choosers.RunModal(dialog) == QDialog::Accepted;
}

}  // namespace varnel

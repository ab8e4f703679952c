#include "ui/frm_main.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <stdexcept>
#include <system_error>

#include "base/current_user.h"
#include "base/text.h"
#include "driver/run_driver.h"
#include "run/command_line.h"
#include "run/config_file.h"
#include "run/lock.h"
#include "tasks/metadata_check/metadata_check.h"
#include "ui/choosers.h"
#include "ui/connection_panel.h"
#include "ui/control_state.h"
#include "ui/dialogs.h"
#include "ui/wait_cursor.h"
#include "warehouse/connector.h"
#include "warehouse/database_access.h"
#include "warehouse/odbc.h"
#include "warehouse/operation_edge.h"
#include "warehouse/tool_tables.h"

namespace varnel {

namespace {

constexpr int kMargin = 10;
constexpr int kPadding = 10;
constexpr int kGap = 6;
// How far the atomic box sits in under the deletion box.
constexpr int kIndent = 20;

struct OptionBox {
    const char* Caption;
    const char* ToolTip;
};

constexpr std::array<OptionBox, 6> kOptionBoxes = {{
    {"C&heck metadata", ""},
    {"Archi&ve fact table elements",
     "Check when you want to move data from fact tables to an archive database. Indicate the "
     "conditions for the fact table elements to be archived and the place of the archive "
     "database by clicking the adjacent button."},
    {"Detect and &mark unused dimension elements",
     "Mark Dimension table elements that are not used by any other table"},
    {"&Generate reports of marked unused dimension elements",
     "Generates 3 HTML reports on unused Dimension table elements and the table filters applied"},
    {"D&elete marked unused dimension elements", "Delete all unused Dimension table elements"},
    {"Ato&mic deletion", "Delete a Dimension table element only if all its instances are unused"},
}};

constexpr const char* kLogToolTip =
    "Fill in the location on the file system where the Varnel log file and the generated "
    "reports are stored.";

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

std::string Text(const QLineEdit* edit) {
    return edit->text().toStdString();
}

// A caption as drawn: the ampersand of the access key takes no room.
QString Shown(const char* caption) {
    QString shown = caption;
    return shown.remove('&');
}

// The number a runtime error carries, where it carries one.
std::string ErrorNumber(const std::exception& error) {
    if (const auto* system = dynamic_cast<const std::system_error*>(&error))
        return std::to_string(system->code().value()) + ": ";
    if (const auto* odbc = dynamic_cast<const OdbcError*>(&error)) {
        if (!odbc->Records().empty())
            return std::to_string(odbc->Records().front().NativeCode) + ": ";
    }
    return {};
}

// A failure text without the line end that operations leave after it.
std::string WithoutLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

}  // namespace

FrmMain::FrmMain(ProcessState& state, Choosers& choosers, QWidget* parent)
    : QWidget(parent), uscBrowse(choosers), state_(state), choosers_(choosers) {
    BuildControls();
    state_.MainWindow = this;
    Form_Load();
}

FrmMain::~FrmMain() {
    if (state_.MainWindow == this) state_.MainWindow = nullptr;
}

void FrmMain::BuildControls() {
    setObjectName("frmMain");
    setWindowTitle("Varnel");
    const QFontMetrics fm = fontMetrics();
    const int titleHeight = fm.height() + 8;
    const int buttonHeight = std::max(28, fm.height() + 12);
    const auto buttonWidth = [&fm](std::initializer_list<const char*> captions) {
        int width = 0;
        for (const char* caption : captions)
            width = std::max(width, fm.horizontalAdvance(Shown(caption)));
        return std::max(88, width + 32);
    };
    const auto button = [](QWidget* parent, const char* name, const char* caption,
                           const char* toolTip) {
        auto* control = new QPushButton(caption, parent);
        control->setObjectName(name);
        control->setToolTip(toolTip);
        return control;
    };

    // The warehouse: the connection panel as it sizes itself.
    fraDataWarehouse = new QGroupBox("Select data warehouse", this);
    fraDataWarehouse->setObjectName("fraDataWarehouse");
    uscConnectDW = new ConnectionPanel(choosers_, fraDataWarehouse);
    uscConnectDW->move(kPadding, titleHeight);
    connect(uscConnectDW, &ConnectionPanel::SettingsChanged, this,
            [this] { Guarded([this] { uscConnectDW_Change(); }); });

    // The options: one row per box, the dialog buttons beside the boxes of their tasks.
    fraOptions = new QGroupBox("Options", this);
    fraOptions->setObjectName("fraOptions");
    for (std::size_t i = 0; i < chkOptions.size(); ++i) {
        auto* box = new QCheckBox(kOptionBoxes[i].Caption, fraOptions);
        box->setObjectName(Text("chkOptions_" + std::to_string(i)));
        box->setToolTip(kOptionBoxes[i].ToolTip);
        const int index = static_cast<int>(i);
        connect(box, &QCheckBox::toggled, this,
                [this, index] { Guarded([this, index] { chkOptions_Click(index); }); });
        chkOptions[i] = box;
    }
    cmdFacts = button(fraOptions, "cmdFacts", "Set &Fact Table Conditions...",
                      "Click this button to indicate the conditions for the fact table elements "
                      "to be archived and the place of the archive database.");
    cmdDimensions = button(fraOptions, "cmdDimensions", "Set &Dimension Checks...",
                           "Set tables and elements to be checked");
    const int dialogButtonWidth =
        buttonWidth({"Set &Fact Table Conditions...", "Set &Dimension Checks..."});
    int rowHeight = buttonHeight;
    int boxesRight = 0;
    for (std::size_t i = 0; i < chkOptions.size(); ++i) {
        rowHeight = std::max(rowHeight, chkOptions[i]->sizeHint().height());
        const int left = kPadding + (i == 5 ? kIndent : 0);
        if (i != 1 && i != 2)
            boxesRight = std::max(boxesRight, left + chkOptions[i]->sizeHint().width());
    }
    const int buttonsLeft =
        kPadding + 16 +
        std::max(chkOptions[1]->sizeHint().width(), chkOptions[2]->sizeHint().width());

    // The log folder.
    fraLogFile = new QGroupBox("Reports and log file location", this);
    fraLogFile->setObjectName("fraLogFile");
    lblLogFile = new QLabel("&Location:", fraLogFile);
    lblLogFile->setObjectName("lblLogFile");
    lblLogFile->setToolTip(kLogToolTip);
    txtLogDir = new QLineEdit(fraLogFile);
    txtLogDir->setObjectName("txtLogDir");
    txtLogDir->setToolTip(kLogToolTip);
    lblLogFile->setBuddy(txtLogDir);
    connect(txtLogDir, &QLineEdit::textChanged, this,
            [this] { Guarded([this] { txtLogDir_Change(); }); });
    cmdLogFile = button(fraLogFile, "cmdLogFile", "Br&owse...",
                        "Browse to the location on the file system where the Varnel log file and "
                        "the generated reports are stored.");
    connect(cmdLogFile, &QPushButton::clicked, this,
            [this] { Guarded([this] { cmdLogFile_Click(); }); });
    const int logLabelWidth = fm.horizontalAdvance(Shown("&Location:")) + 10;
    const int browseWidth = buttonWidth({"Br&owse..."});

    // Every frame takes the width of the widest content.
    const int innerWidth =
        std::max({uscConnectDW->width(), buttonsLeft + dialogButtonWidth - kPadding,
                  boxesRight - kPadding, logLabelWidth + 260 + kGap + browseWidth});
    const int frameWidth = innerWidth + 2 * kPadding;
    int y = kMargin;
    fraDataWarehouse->setGeometry(kMargin, y, frameWidth,
                                  titleHeight + uscConnectDW->height() + kPadding);
    y += fraDataWarehouse->height() + kGap;

    fraOptions->setGeometry(kMargin, y, frameWidth, titleHeight + 6 * rowHeight + 5 * 2 + kPadding);
    for (std::size_t i = 0; i < chkOptions.size(); ++i) {
        const int top = titleHeight + static_cast<int>(i) * (rowHeight + 2);
        const int left = kPadding + (i == 5 ? kIndent : 0);
        const int right = (i == 1 || i == 2) ? buttonsLeft - kGap : kPadding + innerWidth;
        chkOptions[i]->setGeometry(left, top, right - left, rowHeight);
        if (i == 1) cmdFacts->setGeometry(buttonsLeft, top, dialogButtonWidth, rowHeight);
        if (i == 2) cmdDimensions->setGeometry(buttonsLeft, top, dialogButtonWidth, rowHeight);
    }
    y += fraOptions->height() + kGap;

    fraLogFile->setGeometry(kMargin, y, frameWidth, titleHeight + buttonHeight + kPadding);
    lblLogFile->setGeometry(kPadding, titleHeight, logLabelWidth, buttonHeight);
    cmdLogFile->setGeometry(kPadding + innerWidth - browseWidth, titleHeight, browseWidth,
                            buttonHeight);
    txtLogDir->setGeometry(kPadding + logLabelWidth, titleHeight,
                           cmdLogFile->x() - kGap - kPadding - logLabelWidth, buttonHeight);
    y += fraLogFile->height() + kGap + 4;

    // Process and Close, wide enough for their captions of configuration mode too.
    const int commandWidth = buttonWidth({"&Process", "Sa&ve Settings", "&Close", "&Cancel"});
    const int windowWidth = frameWidth + 2 * kMargin;
    cmdClose = button(this, "cmdClose", "&Close", "Close the window.");
    cmdClose->setGeometry(windowWidth - kMargin - commandWidth, y, commandWidth, buttonHeight);
    cmdProcess = button(this, "cmdProcess", "&Process", "Start the process.");
    cmdProcess->setGeometry(cmdClose->x() - kGap - commandWidth, y, commandWidth, buttonHeight);
    cmdProcess->setDefault(true);
    connect(cmdProcess, &QPushButton::clicked, this, [this] { cmdProcess_Click(); });
    connect(cmdFacts, &QPushButton::clicked, this,
            [this] { Guarded([this] { cmdFacts_Click(); }); });
    connect(cmdDimensions, &QPushButton::clicked, this,
            [this] { Guarded([this] { cmdDimensions_Click(); }); });
    connect(cmdClose, &QPushButton::clicked, this,
            [this] { Guarded([this] { cmdClose_Click(); }); });

    setFixedSize(windowWidth, y + buttonHeight + kMargin);

    // The states of a new window.
    DisableControl(*cmdFacts);
    DisableControl(*cmdDimensions);
    DisableControl(*cmdProcess);
}

// ------------------------------------------------------------------ loading

void FrmMain::Form_Load() {
    if (!state_.ConfigMode) {
        chkOptions[0]->setChecked(true);
    } else {
        const RunSettings& saved = state_.SavedSettings;
        cmdProcess->setText("Sa&ve Settings");
        cmdProcess->setToolTip("Save the settings for a later run of the Varnel.");
        cmdClose->setText("&Cancel");
        uscConnectDW->SetServer(saved.Server);
        uscConnectDW->SetDatabase(saved.Database);
        uscConnectDW->SetWindowsAuth(saved.WindowsAuth);
        uscConnectDW->SetUserName(saved.UserName);
        uscConnectDW->SetPassword(saved.Password);
        // The metadata check is never taken from the command line.
        chkOptions[1]->setChecked(saved.ArchiveFacts);
        chkOptions[2]->setChecked(saved.MarkUnused);
        chkOptions[3]->setChecked(saved.GenerateReports);
        chkOptions[4]->setChecked(saved.DeleteMarked);
        if (saved.DeleteMarked) chkOptions[5]->setChecked(saved.AtomicDelete);
        txtLogDir->setText(Text(saved.LogDirectory));
        DisableControl(*cmdProcess);
        DisableControl(*cmdFacts);
        DisableControl(*cmdDimensions);
        if (!IsBlank(uscConnectDW->Server()) && !IsBlank(uscConnectDW->Database())) {
            WaitCursor wait;
            std::string error;
            std::unique_ptr<Connection> trial;
            warehouseChosen_ = OpenWarehouseConnection(
                uscConnectDW->Server(), uscConnectDW->Database(), uscConnectDW->WindowsAuth(),
                uscConnectDW->UserName(), uscConnectDW->Password(), trial, error);
            trial.reset();
            if (!warehouseChosen_) {
                wait.Restore();
                Message(error);
            }
            UpdateDialogButtons();
            UpdateProcessButton();
        }
    }
    AtomicBoxRule();
}

// ------------------------------------------------------------------ enabling rules

bool FrmMain::Ticked(int index) const {
    return chkOptions.at(static_cast<std::size_t>(index))->isChecked();
}

void FrmMain::AtomicBoxRule() {
    if (Ticked(4)) {
        EnableControl(*chkOptions[5]);
    } else {
        chkOptions[5]->setChecked(false);
        DisableControl(*chkOptions[5]);
    }
}

void FrmMain::UpdateDialogButtons() {
    (Ticked(1) && warehouseChosen_) ? EnableControl(*cmdFacts) : DisableControl(*cmdFacts);
    (Ticked(2) && warehouseChosen_) ? EnableControl(*cmdDimensions)
                                    : DisableControl(*cmdDimensions);
}

void FrmMain::UpdateProcessButton() {
    // Saving with archiving needs the archive login, which only the dialog gives.
    if (state_.ConfigMode && Ticked(1) && IsBlank(state_.SavedSettings.ArchiveDatabase)) {
        DisableControl(*cmdProcess);
        return;
    }
    // The folder as typed: a run writes into exactly that folder.
    (FolderExists(Text(txtLogDir)) && warehouseChosen_) ? EnableControl(*cmdProcess)
                                                        : DisableControl(*cmdProcess);
}

void FrmMain::chkOptions_Click(int) {
    AtomicBoxRule();
    UpdateProcessButton();
    UpdateDialogButtons();
}

void FrmMain::txtLogDir_Change() {
    UpdateProcessButton();
}

void FrmMain::uscConnectDW_Change() {
    warehouseChosen_ = !IsBlank(uscConnectDW->Server()) && !IsBlank(uscConnectDW->Database());
    UpdateDialogButtons();
    UpdateProcessButton();
}

// ------------------------------------------------------------------ helpers

Prompter& FrmMain::Prompt() const {
    return state_.CurrentPrompter();
}

void FrmMain::Message(const std::string& text, int style) {
    Prompt().ShowMessage(text, style, "Varnel");
}

void FrmMain::ShowMessageText() {
    Message(state_.MessageText);
    state_.MessageText.clear();
}

void FrmMain::ShowLockNotes() {
    if (state_.LockNotes.empty()) return;
    std::string text;
    for (const auto& note : state_.LockNotes) text += (text.empty() ? "" : "\r\n") + note;
    state_.LockNotes.clear();
    Message(text);
}

void FrmMain::CloseWarehouse() {
    auto& warehouse = state_.WarehouseConnection;
    if (warehouse && warehouse->IsOpen()) warehouse->Close();
}

template <typename Action>
void FrmMain::Guarded(Action action) {
    // Nothing may leave a Qt slot as an exception.
    try {
        action();
    } catch (const std::exception& error) {
        Message(ErrorNumber(error) + error.what());
    }
}

void FrmMain::ShowMainWindow() {
    if (unloaded_) return;
    show();
    raise();
    activateWindow();
}

void FrmMain::HideMainWindow() {
    hide();
}

// ------------------------------------------------------------------ the warehouse and the lock

bool FrmMain::PrepareWarehouse(bool askLastUser) {
    // What an earlier action or run left there is no part of what this one reports.
    state_.MessageText.clear();
    std::string error;
    if (!OpenWarehouseConnection(uscConnectDW->Server(), uscConnectDW->Database(),
                                 uscConnectDW->WindowsAuth(), uscConnectDW->UserName(),
                                 uscConnectDW->Password(), state_.WarehouseConnection, error)) {
        Message(error);
        return false;
    }
    Connection& warehouse = *state_.WarehouseConnection;
    if (!warehouse.IsOpen()) warehouse.Reopen();
    chosenDatabase_ = warehouse.DefaultDatabase();

    // Only a lock of this user counts as held already; another user's goes to LockTool,
    // which asks before it takes it over.
    if (!ReadOwnLock(state_)) {
        CloseWarehouse();
        ShowMessageText();
        return false;
    }
    ShowLockNotes();
    if (state_.LockHeld) return true;
    if (askLastUser) {
        if (!ReadLastLockUser(state_)) {
            ShowMessageText();
            return false;
        }
        const std::string last = TrimBlanks(state_.LastLockUser);
        if (!last.empty() && last != TrimBlanks(CurrentUserName()) &&
            !Prompt().AskYesNo("Varnel Tool was last used by -- " + state_.LastLockUser +
                                   "\r\nDo you wish to " + "continue?",
                               "Lock History"))
            return false;
    }
    bool wasLocked = false;
    const bool locked = LockTool(state_, wasLocked);
    ShowLockNotes();
    if (!locked) {
        CloseWarehouse();
        ShowMessageText();
        return false;
    }
    if (wasLocked) {
        CloseWarehouse();
        return false;
    }
    return true;
}

void FrmMain::ReleaseWindowLock(bool restoreDatabase) {
    if (!state_.LockHeld) return;
    state_.MessageText.clear();
    auto& warehouse = state_.WarehouseConnection;
    // Without a connection object there is nothing to unlock with; the window closes
    // all the same.
    if (!warehouse) return;
    try {
        if (!warehouse->IsOpen()) {
            warehouse->Reopen();
            if (restoreDatabase) warehouse->SetDefaultDatabase(chosenDatabase_);
        }
    } catch (const std::exception& error) {
        AppendFailure(state_.MessageText, error);
        Message(state_.MessageText);
        return;
    }
    if (!UnlockTool(state_)) {
        CloseWarehouse();
        Message(state_.MessageText);
    }
}

// ------------------------------------------------------------------ Process

void FrmMain::cmdProcess_Click() {
    try {
        Process();
    } catch (const std::exception& error) {
        FailProcess(error);
    }
}

void FrmMain::FailProcess(const std::exception& error) {
    // The lock must not outlive the window that held it.
    ReleaseWindowLock(true);
    state_.WarehouseConnection.reset();
    state_.ArchiveConnection.reset();
    Message(ErrorNumber(error) + WithoutLineEnd(error.what()));
    Unload();
}

void FrmMain::Process() {
    const std::string logDirectory = Text(txtLogDir);
    if (IsBlank(logDirectory)) {
        Message("Please enter log directory");
        return;
    }
    RunSettings record;
    // Configuration mode starts from an empty record too, but keeps its mode.
    if (!state_.ConfigMode) ResetRunSettings(state_, record);
    if (!PrepareWarehouse(true)) return;

    record.Server = uscConnectDW->Server();
    record.Database = uscConnectDW->Database();
    record.UserName = uscConnectDW->UserName();
    record.Password = uscConnectDW->Password();
    record.WindowsAuth = uscConnectDW->WindowsAuth();
    record.CheckMetadata = Ticked(0);
    if (Ticked(1)) {
        if (state_.ConfigMode) {
            const RunSettings& saved = state_.SavedSettings;
            record.ArchiveServer = saved.ArchiveServer;
            record.ArchiveDatabase = saved.ArchiveDatabase;
            record.ArchiveUserName = saved.ArchiveUserName;
            record.ArchivePassword = saved.ArchivePassword;
            record.ArchiveWindowsAuth = saved.ArchiveWindowsAuth;
        } else if (!ReadArchiveLogin(record)) {
            return;
        }
        record.ArchiveFacts = true;
        if (record.WindowsAuth && record.ArchiveWindowsAuth) {
            Message(
                std::string("It is not possible to use Windows NT Authentication for both the") +
                " Data Warehouse database and the archive database.");
            return;
        }
    }
    record.MarkUnused = Ticked(2);
    record.GenerateReports = Ticked(3);
    record.DeleteMarked = Ticked(4);
    record.AtomicDelete = Ticked(4) && Ticked(5);
    record.LogRequested = true;
    record.LogDirectory = logDirectory;
    runArguments_ = BuildConfigurationLine(record, record);

    if (state_.ConfigMode) {
        SaveConfiguration(record);
        return;
    }
    WaitCursor wait;
    state_.UnloadProgressWindow();
    // The driver hides this window while the tasks run and shows it again.
    ExecuteRun(state_, record);
}

void FrmMain::SaveConfiguration(RunSettings& record) {
    state_.MessageText.clear();
    if (ValidateRunSettings(state_, record)) {
        const std::string problem = ConfigurationLineProblem(record, record);
        if (!problem.empty()) {
            // The field can be put right in this window; nothing is lost by staying.
            Message(problem, kStyleCritical);
            return;
        }
        std::string error;
        if (!WriteConfigurationFile(state_.ConfigFileName, runArguments_, error))
            throw std::runtime_error(error);
        configurationSaved_ = true;
    } else {
        ReportMessage(state_, false, nullptr, state_.MessageText, false, kStyleCritical);
    }
    ReleaseWindowLock(false);
    state_.WarehouseConnection.reset();
    state_.ArchiveConnection.reset();
    cmdClose_Click();
}

StoredArchiveLogin FrmMain::ReadArchiveLoginRow() {
    auto& warehouse = state_.WarehouseConnection;
    if (!warehouse) throw std::runtime_error("Connection to the data warehouse not available.");
    if (!warehouse->IsOpen()) warehouse->Reopen();
    warehouse->SetDefaultDatabase(uscConnectDW->Database());
    chosenDatabase_ = warehouse->DefaultDatabase();
    StoredArchiveLogin login;
    std::string error;
    if (!ReadStoredArchiveLogin(*warehouse, login, error))
        throw std::runtime_error(WithoutLineEnd(error));
    return login;
}

bool FrmMain::ReadArchiveLogin(RunSettings& record) {
    // Each question closes the connection; the dialog opens it again.
    const auto offerDialog = [this](const std::string& reason) {
        CloseWarehouse();
        if (!Prompt().AskYesNo(reason + "\r\nDo you want to set them now?", "Varnel")) return false;
        cmdFacts_Click();
        return true;
    };
    if (!state_.WarehouseConnection || !TableExists(*state_.WarehouseConnection, "dwm_archive")) {
        if (!offerDialog("Login details for archive database not found.")) return false;
    }
    StoredArchiveLogin login = ReadArchiveLoginRow();
    // A missing row is as incomplete as a row of Nulls.
    while (!login.Server || !login.SecureLogin || !login.Database) {
        if (!offerDialog("Login details for archive database not found or not correct."))
            return false;
        login = ReadArchiveLoginRow();
    }
    while (!login.SecureLogin.value_or(false) && !login.UserName) {
        if (!offerDialog("Login details for archive database not correct.")) return false;
        login = ReadArchiveLoginRow();
    }
    record.ArchiveServer = TrimBlanks(login.Server.value_or(""));
    record.ArchiveDatabase = TrimBlanks(login.Database.value_or(""));
    record.ArchiveUserName = TrimBlanks(login.UserName.value_or(""));
    record.ArchivePassword = TrimBlanks(login.Password.value_or(""));
    record.ArchiveWindowsAuth = login.SecureLogin.value_or(false);
    return true;
}

// ------------------------------------------------------------------ the dialogs

void FrmMain::cmdFacts_Click() {
    if (!PrepareWarehouse(false)) return;
    Connection& warehouse = *state_.WarehouseConnection;
    if (Ticked(0) && !TableExists(warehouse, "dwm_tables")) {
        CloseWarehouse();
        Message("Table 'dwm_tables' does not exist in data warehouse database");
        return;
    }
    if (!state_.ConfigMode && !TableExists(warehouse, "dwm_archive")) {
        std::string error;
        if (!CreateArchiveLoginTable(warehouse, error)) {
            CloseWarehouse();
            Message(WithoutLineEnd(error));
            return;
        }
    }
    // The dialog works on the panel's own connection, its data source.
    std::string error;
    if (!uscConnectDW->DataSource() && !uscConnectDW->OpenDataSource(error)) {
        Message(error);
        return;
    }
    ShowFactTableFilters(this, *uscConnectDW->DataSource(), state_.ConfigMode, state_.SavedSettings,
                         Prompt(), choosers_);
    UpdateProcessButton();
}

void FrmMain::cmdDimensions_Click() {
    if (!PrepareWarehouse(false)) return;
    if (Ticked(0)) {
        state_.MessageText.clear();
        WaitCursor wait;
        // Without a progress window: no Cancel, no bar, no question about indexes.
        const bool checked = CheckTablesTable(state_, *state_.WarehouseConnection, nullptr);
        wait.Restore();
        if (!checked) {
            ShowMessageText();
            return;
        }
    }
    ShowSustainRec(this, *state_.WarehouseConnection, Prompt(), choosers_);
}

void FrmMain::cmdLogFile_Click() {
    const std::string typed = Text(txtLogDir);
    if (!IsBlank(typed) && !FolderExists(TrimBlanks(typed))) {
        Message("Entered folder does not exist.");
        return;
    }
    const std::string chosen = uscBrowse.Browse(this, typed, "Select log directory");
    if (!chosen.empty()) txtLogDir->setText(Text(chosen));
}

// ------------------------------------------------------------------ closing

void FrmMain::cmdClose_Click() {
    ReleaseWindowLock(true);
    state_.WarehouseConnection.reset();
    state_.ArchiveConnection.reset();
    Unload();
}

void FrmMain::Form_QueryUnload() {
    // UnloadAllForms: the main window takes every other window with it.
    state_.UnloadProgressWindow();
    ReleaseWindowLock(false);
}

void FrmMain::closeEvent(QCloseEvent* event) {
    if (!unloaded_) {
        Guarded([this] { Form_QueryUnload(); });
        Unload();
    }
    event->accept();
}

void FrmMain::Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    uscConnectDW->CloseDataSource();
    hide();
    emit Unloaded();
}

}  // namespace varnel

#include "ui/connection_panel.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <filesystem>

#include "base/text.h"
#include "ui/choosers.h"
#include "ui/control_state.h"
#include "ui/folder_chooser.h"
#include "warehouse/connector.h"

namespace varnel {

namespace {

constexpr int kGap = 6;

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

ConnectionPanel::ConnectionPanel(Choosers& choosers, QWidget* parent)
    : QWidget(parent), choosers_(choosers) {
    setObjectName("uscConnectDW");
    const QFontMetrics fm = fontMetrics();
    const int rowHeight = std::max(24, fm.height() + 10);
    const int labelWidth =
        std::max({fm.horizontalAdvance("Server:"), fm.horizontalAdvance("Database:"),
                  fm.horizontalAdvance("User name:"), fm.horizontalAdvance("Password:")}) +
        12;
    const int browseWidth = std::max(80, fm.horizontalAdvance("Browse...") + 24);
    const int fieldWidth = std::max(260, fm.horizontalAdvance("/srv/warehouse/sales.db") + 80);

    const auto label = [this](const char* name, const char* caption) {
        auto* text = new QLabel(caption, this);
        text->setObjectName(name);
        return text;
    };
    const auto field = [this](const char* name) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(name);
        connect(edit, &QLineEdit::textChanged, this, &ConnectionPanel::OnChange);
        return edit;
    };

    int y = 0;
    const auto place = [&](QLabel* caption, QWidget* value, int width) {
        caption->setGeometry(0, y, labelWidth, rowHeight);
        value->setGeometry(labelWidth, y, width, rowHeight);
        y += rowHeight + kGap;
    };
    lblServer = label("lblServer", "Server:");
    txtServer = field("txtServer");
    place(lblServer, txtServer, fieldWidth);

    lblDatabase = label("lblDatabase", "Database:");
    txtDatabase = field("txtDatabase");
    cmdBrowseDatabase = new QPushButton("Browse...", this);
    cmdBrowseDatabase->setObjectName("cmdBrowseDatabase");
    cmdBrowseDatabase->setToolTip("Browse to the SQLite file of the warehouse.");
    cmdBrowseDatabase->setGeometry(labelWidth + fieldWidth - browseWidth, y, browseWidth,
                                   rowHeight);
    connect(cmdBrowseDatabase, &QPushButton::clicked, this,
            &ConnectionPanel::cmdBrowseDatabase_Click);
    place(lblDatabase, txtDatabase, fieldWidth - browseWidth - kGap);

    chkWindowsAuth = new QCheckBox("Windows authentication", this);
    chkWindowsAuth->setObjectName("chkWindowsAuth");
    chkWindowsAuth->setGeometry(labelWidth, y, fieldWidth, rowHeight);
    connect(chkWindowsAuth, &QCheckBox::toggled, this, &ConnectionPanel::OnChange);
    y += rowHeight + kGap;

    lblUserName = label("lblUserName", "User name:");
    txtUserName = field("txtUserName");
    place(lblUserName, txtUserName, fieldWidth);
    lblPassword = label("lblPassword", "Password:");
    txtPassword = field("txtPassword");
    txtPassword->setEchoMode(QLineEdit::Password);
    place(lblPassword, txtPassword, fieldWidth);

    resize(labelWidth + fieldWidth, y - kGap);
    setMinimumSize(size());
    UpdateControls();
}

ConnectionPanel::~ConnectionPanel() = default;

std::string ConnectionPanel::Server() const {
    return txtServer->text().toStdString();
}

std::string ConnectionPanel::Database() const {
    return txtDatabase->text().toStdString();
}

bool ConnectionPanel::WindowsAuth() const {
    return chkWindowsAuth->isChecked();
}

std::string ConnectionPanel::UserName() const {
    return txtUserName->text().toStdString();
}

std::string ConnectionPanel::Password() const {
    return txtPassword->text().toStdString();
}

void ConnectionPanel::SetServer(const std::string& server) {
    txtServer->setText(Text(server));
}

void ConnectionPanel::SetDatabase(const std::string& database) {
    txtDatabase->setText(Text(database));
}

void ConnectionPanel::SetWindowsAuth(bool windowsAuth) {
    chkWindowsAuth->setChecked(windowsAuth);
}

void ConnectionPanel::SetUserName(const std::string& userName) {
    txtUserName->setText(Text(userName));
}

void ConnectionPanel::SetPassword(const std::string& password) {
    txtPassword->setText(Text(password));
}

void ConnectionPanel::OnChange() {
    // The held connection was opened with the old values.
    dataSource_.reset();
    UpdateControls();
    emit SettingsChanged();
}

void ConnectionPanel::UpdateControls() {
    const bool sqlite = IsSqliteServer(Server());
    sqlite ? EnableControl(*cmdBrowseDatabase) : DisableControl(*cmdBrowseDatabase);
    // Windows authentication logs in as the process's user: no name or password.
    for (QWidget* control :
         {static_cast<QWidget*>(txtUserName), static_cast<QWidget*>(txtPassword)})
        WindowsAuth() ? DisableControl(*control) : EnableControl(*control);
}

bool ConnectionPanel::OpenDataSource(std::string& messageText) {
    dataSource_.reset();
    return OpenWarehouseConnection(Server(), Database(), WindowsAuth(), UserName(), Password(),
                                   dataSource_, messageText, kDefaultLoginTimeoutSeconds,
                                   emptyFile_);
}

void ConnectionPanel::cmdBrowseDatabase_Click() {
    if (!IsSqliteServer(Server())) return;
    // Start at the file named so far, or in the nearest folder of it that exists.
    std::string start = TrimBlanks(Database());
    std::error_code error;
    if (!std::filesystem::is_regular_file(start, error)) start = StartFolderFor(start);
    const std::string chosen =
        choosers_.ChooseFile(this, start, "Select the SQLite warehouse file",
                             "SQLite databases (*.db *.sqlite *.sqlite3);;All files (*)");
    if (!chosen.empty()) SetDatabase(chosen);
}

}  // namespace varnel

#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "warehouse/connector.h"
#include "warehouse/odbc.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace varnel {

class Choosers;

//! The warehouse connection panel: server, database, Windows authentication, user
//! and password, a signal on every change, and the open connection it holds as its
//! data source. With the server "sqlite" the database is a file, and Browse picks it.
class ConnectionPanel : public QWidget {
    Q_OBJECT

  public:
    explicit ConnectionPanel(Choosers& choosers, QWidget* parent = nullptr);
    ~ConnectionPanel() override;

    std::string Server() const;
    std::string Database() const;
    bool WindowsAuth() const;
    std::string UserName() const;
    std::string Password() const;
    void SetServer(const std::string& server);
    void SetDatabase(const std::string& database);
    void SetWindowsAuth(bool windowsAuth);
    void SetUserName(const std::string& userName);
    void SetPassword(const std::string& password);

    //! Opens a connection with the panel's five values and holds it as the data
    //! source. On failure the message text is the connection's error and no data
    //! source is held.
    bool OpenDataSource(std::string& messageText);
    //! The open connection; null until opened and after any change of the values.
    Connection* DataSource() const { return dataSource_.get(); }
    void CloseDataSource() { dataSource_.reset(); }
    //! An archive may be a new, empty SQLite file; a warehouse never is.
    void AllowNewFile() { emptyFile_ = NewFile::Allowed; }

    //! Lets the operator pick the SQLite file (sqlite servers only).
    void cmdBrowseDatabase_Click();

    QLabel* lblServer = nullptr;
    QLineEdit* txtServer = nullptr;
    QLabel* lblDatabase = nullptr;
    QLineEdit* txtDatabase = nullptr;
    QPushButton* cmdBrowseDatabase = nullptr;
    QCheckBox* chkWindowsAuth = nullptr;
    QLabel* lblUserName = nullptr;
    QLineEdit* txtUserName = nullptr;
    QLabel* lblPassword = nullptr;
    QLineEdit* txtPassword = nullptr;

  signals:
    //! Any of the five values changed, by the operator or by code.
    void SettingsChanged();

  private:
    void OnChange();
    void UpdateControls();

    Choosers& choosers_;
    std::unique_ptr<Connection> dataSource_;
    NewFile emptyFile_ = NewFile::Refused;
};

}  // namespace varnel

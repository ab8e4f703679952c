#pragma once

#include <QWidget>
#include <array>
#include <exception>
#include <string>

#include "run/main_window_host.h"
#include "run/process_state.h"
#include "tasks/archiving/archive_connection_rules.h"
#include "ui/folder_chooser.h"

class QCheckBox;
class QCloseEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace varnel {

class Choosers;
class ConnectionPanel;
class Prompter;

//! The main window: the warehouse, the tasks and the log folder of an interactive run,
//! the two settings dialogs, and in configuration mode the saving of the settings as
//! one command line. Controls are placed by absolute geometry measured from the font;
//! the window keeps its size.
//!
//! Messages and questions go through the process's prompter, the file choosers and
//! the dialogs through the choosers given, so that a test drives the window without
//! a modal window ever opening.
class FrmMain : public QWidget, public MainWindowHost {
    Q_OBJECT

  public:
    //! Builds the window and loads it (Form_Load) in the mode the state says; it
    //! becomes the state's main window.
    FrmMain(ProcessState& state, Choosers& choosers, QWidget* parent = nullptr);
    ~FrmMain() override;
    FrmMain(const FrmMain&) = delete;
    FrmMain& operator=(const FrmMain&) = delete;

    void ShowMainWindow() override;
    void HideMainWindow() override;

    //! The reaction to any option box: the atomic box rule, then the buttons.
    void chkOptions_Click(int index);
    void txtLogDir_Change();
    //! The connection panel's values changed.
    void uscConnectDW_Change();
    //! Runs the ticked tasks, or in configuration mode saves them as a command line.
    void cmdProcess_Click();
    void cmdFacts_Click();
    void cmdDimensions_Click();
    void cmdLogFile_Click();
    //! Releases the lock this window holds, drops the connections and unloads.
    void cmdClose_Click();

    //! Enables Process exactly when a run (or a save) can start from what is filled in.
    void UpdateProcessButton();
    //! Enables each dialog button when its task is ticked and a warehouse is chosen.
    void UpdateDialogButtons();

    bool WarehouseChosen() const { return warehouseChosen_; }
    //! The options of the last Process in command-line syntax.
    const std::string& RunArguments() const { return runArguments_; }
    bool IsUnloaded() const { return unloaded_; }
    //! Configuration mode wrote its line to the configuration file.
    bool ConfigurationSaved() const { return configurationSaved_; }

    QGroupBox* fraDataWarehouse = nullptr;
    ConnectionPanel* uscConnectDW = nullptr;
    QGroupBox* fraOptions = nullptr;
    std::array<QCheckBox*, 6> chkOptions{};
    QPushButton* cmdFacts = nullptr;
    QPushButton* cmdDimensions = nullptr;
    QGroupBox* fraLogFile = nullptr;
    QLabel* lblLogFile = nullptr;
    QLineEdit* txtLogDir = nullptr;
    QPushButton* cmdLogFile = nullptr;
    FolderChooser uscBrowse;
    QPushButton* cmdProcess = nullptr;
    QPushButton* cmdClose = nullptr;

  signals:
    //! The window was unloaded, by Close or by its title-bar close: the session ends.
    void Unloaded();

  protected:
    //! The title-bar close (Form_QueryUnload), then the unload.
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildControls();
    void Form_Load();
    void Form_QueryUnload();
    void Unload();

    bool Ticked(int index) const;
    void AtomicBoxRule();
    Prompter& Prompt() const;
    void Message(const std::string& text, int style = 0);
    //! Shows MessageText and empties it.
    void ShowMessageText();
    //! Shows what the lock had to tell (a lock taken over, a live lock that cannot be
    //! held) in one message, and empties it.
    void ShowLockNotes();
    void CloseWarehouse();

    //! Connects with the panel's values, remembers the database and makes sure this
    //! process holds the lock; False when the action stops here.
    bool PrepareWarehouse(bool askLastUser);
    void Process();
    //! Reads the archive login from dwm_archive into the record, offering the fact
    //! table conditions dialog while it is missing; False when the operator stops.
    bool ReadArchiveLogin(RunSettings& record);
    StoredArchiveLogin ReadArchiveLoginRow();
    void SaveConfiguration(RunSettings& record);
    //! A runtime error of Process: the lock goes as at Close, then the window.
    void FailProcess(const std::exception& error);
    //! Unlocks when this process holds the lock; restoreDatabase sets the remembered
    //! database again on a connection that had to be reopened.
    void ReleaseWindowLock(bool restoreDatabase);
    //! Runs an action of a button; an error it does not handle is shown.
    template <typename Action>
    void Guarded(Action action);

    ProcessState& state_;
    Choosers& choosers_;
    bool warehouseChosen_ = false;
    std::string chosenDatabase_;
    std::string runArguments_;
    bool unloaded_ = false;
    bool configurationSaved_ = false;
};

}  // namespace varnel

#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QTableView>
#include <array>
#include <optional>
#include <string>
#include <unordered_map>

#include "tasks/archiving/fact_conditions.h"

class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;

namespace varnel {

class Choosers;
class ConnectionPanel;
class Prompter;
struct RunSettings;

//! The condition rows as a grid shows them: "Table Name" (read-only) and
//! "Condition(s)" (editable).
class ConditionRowsModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    using QAbstractTableModel::QAbstractTableModel;

    void SetRows(ConditionRows rows);
    const ConditionRows& Rows() const { return rows_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  signals:
    //! A condition was changed through the grid.
    void ConditionEdited(int row);

  private:
    ConditionRows rows_;
};

//! The grid of the conditions; it can commit an open editor on request.
class ConditionGrid : public QTableView {
  public:
    using QTableView::QTableView;
    //! Writes the text of an open cell editor into the model and closes the editor.
    void CommitOpenEditor();
};

//! The fact table conditions dialog: one editable condition per fact table, each
//! compiled on the warehouse server before it is accepted, and the archive login.
class FrmSetFactTableFilters : public QDialog {
    Q_OBJECT

  public:
    //! Loads the conditions and the archive login. In configuration mode the login
    //! comes from, and goes to, the saved settings.
    FrmSetFactTableFilters(Connection& warehouse, bool configMode, RunSettings& savedSettings,
                           Prompter& prompter, Choosers& choosers, QWidget* parent = nullptr);
    ~FrmSetFactTableFilters() override;

    bool LoadFailed() const { return loadFailed_; }
    ConditionRowsModel& Conditions() { return model_; }

    //! After a failed load the dialog closes; otherwise the condition column becomes
    //! the current column.
    void Form_Activate();
    //! Tests every condition, saves them, checks and stores the archive settings, and
    //! closes; stays open on the first failure.
    void cmdOK_Click();
    void cmdCancel_Click();
    //! Compiles an edited condition and shows the server's message when it fails.
    void dgdFactTables_AfterColUpdate(int row);
    //! A column other than the last was resized: the last fills the rest of the grid.
    void dgdFactTables_ColResize(int column);
    //! The archive settings' rules and a trial connection; a failure is shown.
    bool ValidateArchiveConnection();
    //! Places a control for the window's size: controls above the grid widen with the
    //! window, the grid takes the new width and height, controls below it move down by
    //! the grid's growth, and a button given its distance from the window's right edge
    //! keeps that distance.
    void ResizeFormElement(QWidget& ctlToBeResized, bool blnBelowGrid,
                           std::optional<int> intCmdLeft = std::nullopt);

    std::array<QLabel*, 4> lblDirections{};
    ConditionGrid* dgdFactTables = nullptr;
    QFrame* fraSeparator = nullptr;
    QLabel* lblExplanation = nullptr;
    QGroupBox* fraAuthentication = nullptr;
    ConnectionPanel* uscConnectArchive = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void BuildControls();
    void Form_Load();
    ArchiveLogin ArchiveSettings() const;
    std::string ConditionStatement(int row) const;

    Connection& warehouse_;
    bool configMode_;
    RunSettings& savedSettings_;
    Prompter& prompter_;
    Choosers& choosers_;
    ConditionRowsModel model_;
    bool loadFailed_ = false;
    bool committingForOk_ = false;
    QSize designSize_;
    std::unordered_map<const QWidget*, QRect> design_;
};

}  // namespace varnel

#pragma once

#include <QComboBox>
#include <QDialog>
#include <QSize>
#include <functional>
#include <optional>
#include <string>

#include "ui/form_layout.h"
#include "warehouse/editable_results.h"

class QFrame;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace varnel {

class Connection;
class Prompter;

//! A drop-down list that lets its owner fill it just before it opens.
class DropDownList : public QComboBox {
  public:
    using QComboBox::QComboBox;
    std::function<void()> DropDown;
    void showPopup() override;
};

//! The dimension checks dialog: which dimension tables the marking examines
//! (is_selected) and which records of one table are kept (is_sustainable).
class FrmSustainRec : public QDialog {
    Q_OBJECT

  public:
    //! Builds and loads the dialog. The screen's size decides the dialog's height and
    //! place; by default it is the primary screen's available area.
    FrmSustainRec(Connection& warehouse, Prompter& prompter, QWidget* parent = nullptr,
                  std::optional<QSize> screenSize = std::nullopt);
    ~FrmSustainRec() override;

    //! Places every control for the dialog's present size.
    void ResizeControls();

    void cboSelectedTables_DropDown();
    //! Starts the chosen table's query and shows its columns; drops the records shown.
    void cboSelectedTables_Click();
    void cmdParseQuery_Click();
    void cmdExecuteQuery_Click();
    //! Runs the last query again, sorted by the column clicked.
    void lvwDimensionRecords_ColumnClick(int column);
    void cmdSelectAll_Click();
    void cmdUnselectAll_Click();
    void cmdSustainAll_Click();
    void cmdUnsustainAll_Click();
    void cmdSaveSelection_Click();
    void cmdOK_Click();
    void cmdCancel_Click();

    //! The records behind the records list; unset until a query has run.
    std::optional<EditableResult> RecordsRecordset;
    //! The statement last run by Run Query, the base of sorting.
    std::string RecordsQuery;

    QGroupBox* fraDimensionTables = nullptr;
    QLabel* lblDimensionTables = nullptr;
    QTreeWidget* lvwDimensionTables = nullptr;
    QPushButton* cmdSelectAll = nullptr;
    QPushButton* cmdUnselectAll = nullptr;
    QFrame* fraSeparate = nullptr;
    QGroupBox* fraSustain = nullptr;
    QLabel* lblSelectedTables = nullptr;
    DropDownList* cboSelectedTables = nullptr;
    QLabel* lblWhereClause = nullptr;
    QPlainTextEdit* txtWhereClause = nullptr;
    QPushButton* cmdParseQuery = nullptr;
    QPushButton* cmdExecuteQuery = nullptr;
    QLabel* lblRecords = nullptr;
    QTreeWidget* lvwDimensionRecords = nullptr;
    QPushButton* cmdSustainAll = nullptr;
    QPushButton* cmdUnsustainAll = nullptr;
    QPushButton* cmdSaveSelection = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void BuildControls();
    void Form_Load(std::optional<QSize> screenSize);
    void ClearRecords();

    Connection& warehouse_;
    Prompter& prompter_;
    ClsResize resize_;
    bool loaded_ = false;
    // Margins and gaps of the layout, in pixels.
    int margin_ = 8;
    int gap_ = 6;
    int buttonWidth_ = 0;
    int buttonHeight_ = 0;
};

}  // namespace varnel

// The dimension checks dialog and its list helpers on a real SQLite warehouse,
// with a scripted prompter and scripted choosers in place of the operator.

#include "ui/frm_sustain_rec.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "tests/support/run_doubles.h"
#include "tests/support/warehouse_builder.h"
#include "tests/ui/support/layout_check.h"
#include "tests/ui/support/qt_application.h"
#include "tests/ui/support/scripted_choosers.h"
#include "ui/dialogs.h"
#include "ui/form_layout.h"
#include "ui/list_helpers.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

QStringList Headers(const QTreeWidget& list) {
    QStringList headers;
    for (int i = 0; i < list.columnCount(); ++i) headers << list.headerItem()->text(i);
    return headers;
}

class SustainRecTest : public ::testing::Test {
  protected:
    void SetUp() override {
        w_.Dimension("dim_product", {"id INTEGER", "code VARCHAR(10)", "name VARCHAR(20)"},
                     {.PrimaryKey = "id", .Selected = false});
        // A second row of the same table, selected: the table is listed once, ticked.
        w_.Register({.Table = "dim_product", .Type = "Dimension", .Selected = 1});
        w_.Dimension("dim_zone", {"zone VARCHAR(10)", "label VARCHAR(20)"},
                     {.PrimaryKey = "", .Selected = false});
        w_.Register({.Table = "dim_gone", .Type = "DIMENSION", .Selected = 1});
        w_.Dimension("dim_plain", {"id INTEGER"},
                     {.PrimaryKey = "id", .Without = {"is_sustainable"}});
        w_.Rows("dim_product", {"id", "code", "name", "is_sustainable"},
                {{1, "F", "fig", 0},
                 {2, "A", "apple", 1},
                 {3, "E", "egg", 0},
                 {4, "B", "bean", 1},
                 {5, "D", "date", 0},
                 {6, "C", "corn", 1}});
        w_.Rows("dim_zone", {"zone", "label", "is_sustainable"}, {{"N", "north", 0}});
        // Every row an UPDATE touches is noted, to tell written rows from untouched ones.
        w_.Exec("CREATE TABLE touched (id INTEGER)");
        w_.Exec(
            "CREATE TRIGGER note_update AFTER UPDATE ON dim_product BEGIN "
            "INSERT INTO touched VALUES (old.id); END");
        warehouse_ = w_.OpenConnection();
    }

    std::unique_ptr<FrmSustainRec> Open(std::optional<QSize> screen = QSize(1280, 1024)) {
        return std::make_unique<FrmSustainRec>(*warehouse_, prompter_, nullptr, screen);
    }

    //! Picks the table in the drop-down as the operator would.
    static void Choose(FrmSustainRec& dialog, const QString& table) {
        dialog.cboSelectedTables_DropDown();
        dialog.cboSelectedTables->setCurrentIndex(dialog.cboSelectedTables->findText(table));
        dialog.cboSelectedTables_Click();
    }

    //! Runs the typed query, answering Yes.
    void Run(FrmSustainRec& dialog, const QString& query) {
        dialog.txtWhereClause->setPlainText(query);
        prompter_.Answers = {true};
        dialog.cmdExecuteQuery_Click();
    }

    std::vector<std::string> Texts() {
        return w_.Column("select id || ':' || is_sustainable from dim_product order by id");
    }

    const bool application_ = (testing::EnsureQtApplication(), true);
    testing::WarehouseBuilder w_;
    std::unique_ptr<Connection> warehouse_;
    testing::ScriptedPrompter prompter_;
};

TEST_F(SustainRecTest, TablesListShowsEachExistingTableOnceAndOkWritesEveryRow) {
    auto dialog = Open();
    EXPECT_EQ(dialog->windowTitle(), "Dimension Checks");
    EXPECT_EQ(Headers(*dialog->lvwDimensionTables), QStringList{"Table Name"});
    EXPECT_THAT(ListTexts(*dialog->lvwDimensionTables),
                ElementsAre("dim_plain", "dim_product", "dim_zone"));
    EXPECT_THAT(ListTicks(*dialog->lvwDimensionTables), ElementsAre(true, true, false));

    // Only tables ticked when the drop-down opens can be chosen.
    dialog->cmdUnselectAll_Click();
    dialog->lvwDimensionTables->topLevelItem(2)->setCheckState(0, Qt::Checked);
    dialog->cboSelectedTables_DropDown();
    ASSERT_EQ(dialog->cboSelectedTables->count(), 1);
    EXPECT_EQ(dialog->cboSelectedTables->itemText(0), "dim_zone");
    dialog->cmdSelectAll_Click();
    dialog->lvwDimensionTables->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    dialog->lvwDimensionTables->topLevelItem(1)->setCheckState(0, Qt::Unchecked);

    dialog->cmdOK_Click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_THAT(prompter_.Boxes, IsEmpty());
    EXPECT_THAT(
        w_.Lines("select table_name, is_selected from dwm_tables order by rowid"),
        ElementsAre("dim_product|0", "dim_product|0", "dim_zone|1", "dim_gone|1", "dim_plain|0"));
}

TEST_F(SustainRecTest, ButtonsAnswerWithTheirMessages) {
    const struct {
        const char* Name;
        QString Query;
        std::function<void(FrmSustainRec&)> Press;
        std::string Message;  // the start of the one box shown
        bool Question;
    } cases[] = {
        {"save before any query", "", &FrmSustainRec::cmdSaveSelection_Click,
         "No Records to be saved.", false},
        {"parse nothing", "  ", &FrmSustainRec::cmdParseQuery_Click, "No Query to Parse", false},
        {"parse a good query", "select code from dim_product", &FrmSustainRec::cmdParseQuery_Click,
         "The Query was compiled successfully", false},
        {"parse a misspelt column", "select cdoe from dim_product",
         &FrmSustainRec::cmdParseQuery_Click, "", false},
        {"run nothing", "", &FrmSustainRec::cmdExecuteQuery_Click,
         "Please enter the SQL Query first.", false},
        {"run a join", "select * from dim_product, dim_zone where 1 = 1",
         &FrmSustainRec::cmdExecuteQuery_Click, "Join Queries are not allowed", false},
        {"run answered No", "select * from dim_product", &FrmSustainRec::cmdExecuteQuery_Click,
         "Do you wish to execute this query?", true},
        {"run without the control column", "select * from dim_plain",
         &FrmSustainRec::cmdExecuteQuery_Click, "Column 'is_sustainable' does not exist.", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        prompter_.Boxes.clear();
        prompter_.Answers = {c.Message == "Column 'is_sustainable' does not exist."};
        auto dialog = Open();
        dialog->txtWhereClause->setPlainText(c.Query);
        c.Press(*dialog);
        const std::size_t expected = c.Message.find("exist") != std::string::npos ? 2u : 1u;
        ASSERT_EQ(prompter_.Boxes.size(), expected);
        const auto& box = prompter_.Boxes.back();
        if (c.Message.empty())
            EXPECT_THAT(box.Text, HasSubstr("cdoe"));
        else
            EXPECT_THAT(box.Text, StartsWith(c.Message));
        EXPECT_EQ(box.Question, c.Question);
        EXPECT_EQ(box.Title, c.Question ? "Query Execution" : "Varnel");
        EXPECT_EQ(dialog->lvwDimensionRecords->topLevelItemCount(), 0);
        EXPECT_FALSE(dialog->RecordsRecordset.has_value());
    }
    EXPECT_THAT(w_.Column("select id from touched"), IsEmpty());
}

TEST_F(SustainRecTest, SavingWritesOnlyTheTicksThatChangedOnTheRowsShown) {
    auto dialog = Open();
    Choose(*dialog, "dim_product");
    EXPECT_EQ(dialog->txtWhereClause->toPlainText(), "Select * from dim_product");
    // Before a query the list shows the table's columns without the keep column.
    EXPECT_EQ(Headers(*dialog->lvwDimensionRecords),
              (QStringList{"id", "code", "name", "is_deletable"}));

    Run(*dialog, "select  *  from dim_product where id <= 5");
    EXPECT_EQ(dialog->RecordsQuery, "Select  is_sustainable, * from dim_product where id <= 5  ");
    EXPECT_EQ(Headers(*dialog->lvwDimensionRecords),
              (QStringList{"id", "code", "name", "is_deletable"}));
    dialog->lvwDimensionRecords_ColumnClick(1);
    auto& list = *dialog->lvwDimensionRecords;
    prompter_.Boxes.clear();
    EXPECT_THAT(ListTexts(list), ElementsAre("2", "4", "5", "3", "1"));
    EXPECT_THAT(ListTicks(list), ElementsAre(true, true, false, false, false));
    EXPECT_EQ(list.topLevelItem(0)->text(2), "apple");

    // id 4 cleared, ids 5 and 1 ticked, id 2 cleared and ticked again, id 3 left alone.
    list.topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    list.topLevelItem(2)->setCheckState(0, Qt::Checked);
    list.topLevelItem(4)->setCheckState(0, Qt::Checked);
    list.topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    list.topLevelItem(0)->setCheckState(0, Qt::Checked);
    dialog->cmdSaveSelection_Click();
    EXPECT_THAT(prompter_.Boxes, IsEmpty());
    EXPECT_THAT(Texts(), ElementsAre("1:1", "2:1", "3:0", "4:0", "5:1", "6:1"));
    EXPECT_THAT(w_.Column("select id from touched order by id"), ElementsAre("1", "4", "5"));

    // Select All and Clear All on the records; a second save writes what changed since.
    w_.Exec("delete from touched");
    dialog->cmdUnsustainAll_Click();
    dialog->cmdSaveSelection_Click();
    EXPECT_THAT(Texts(), ElementsAre("1:0", "2:0", "3:0", "4:0", "5:0", "6:1"));
    EXPECT_THAT(w_.Column("select id from touched order by id"), ElementsAre("1", "2", "5"));
    dialog->cmdSustainAll_Click();
    EXPECT_THAT(ListTicks(list), ElementsAre(true, true, true, true, true));
}

TEST_F(SustainRecTest, UnsavedTicksAndUnsavableResultsWriteNothing) {
    const struct {
        const char* Name;
        QString Query;
        std::function<void(FrmSustainRec&)> Between;
        std::string Message;
    } cases[] = {
        {"another table chosen", "select * from dim_product",
         [](FrmSustainRec& d) {
             CheckAllItems(*d.lvwDimensionTables);
             Choose(d, "dim_zone");
             EXPECT_EQ(Headers(*d.lvwDimensionRecords),
                       (QStringList{"zone", "label", "is_deletable"}));
         },
         "No Records to be saved."},
        {"no identity",
         "select distinct code from dim_product",
         {},
         "These records cannot be saved"},
        {"no rows", "select * from dim_product where id > 100", {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        prompter_.Boxes.clear();
        auto dialog = Open();
        Choose(*dialog, "dim_product");
        Run(*dialog, c.Query);
        CheckAllItems(*dialog->lvwDimensionRecords);
        if (c.Between) c.Between(*dialog);
        dialog->cmdSaveSelection_Click();
        ASSERT_EQ(prompter_.Boxes.size(), c.Message.empty() ? 1u : 2u);
        if (!c.Message.empty()) {
            EXPECT_THAT(prompter_.Boxes[1].Text, StartsWith(c.Message));
        }
        EXPECT_THAT(Texts(), ElementsAre("1:0", "2:1", "3:0", "4:1", "5:0", "6:1"));
        EXPECT_THAT(w_.Column("select id from touched"), IsEmpty());
    }
}

TEST_F(SustainRecTest, ShownThroughTheSeam) {
    testing::ScriptedChoosers choosers;
    choosers.Dialogs = {[](QDialog& d) {
                            static_cast<FrmSustainRec&>(d).cmdOK->click();
                            return d.result();
                        },
                        [](QDialog& d) {
                            static_cast<FrmSustainRec&>(d).cmdCancel->click();
                            return d.result();
                        }};
    EXPECT_TRUE(ShowSustainRec(nullptr, *warehouse_, prompter_, choosers));
    EXPECT_FALSE(ShowSustainRec(nullptr, *warehouse_, prompter_, choosers));
    ASSERT_EQ(choosers.Requests.size(), 2u);
    EXPECT_EQ(choosers.Requests[0].Title, "Dimension Checks");
}

TEST_F(SustainRecTest, HeightFollowsTheScreenAndTheLayoutHoldsWhenResized) {
    const struct {
        QSize Screen;
        int HeightTwips;
    } cases[] = {{{1280, 1024}, 9900}, {{800, 600}, 8700}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.HeightTwips);
        auto dialog = Open(c.Screen);
        const int height = TwipsToPixels(c.HeightTwips, dialog->logicalDpiY());
        EXPECT_EQ(dialog->height(), height);
        EXPECT_EQ(dialog->pos(), QPoint((c.Screen.width() - dialog->width()) / 2,
                                        (c.Screen.height() - height) / 2));
        dialog->show();
        QCoreApplication::processEvents();
        std::vector<QWidget*> controls;
        std::vector<QRect> design;
        for (QWidget* control : dialog->findChildren<QWidget*>()) {
            const QString name = control->objectName();
            if (name.isEmpty() || name.startsWith("qt_")) continue;
            controls.push_back(control);
            design.push_back(control->geometry());
        }
        ASSERT_EQ(controls.size(), 20u);
        EXPECT_THAT(testing::LayoutFaults(*dialog), IsEmpty());

        const QSize start = dialog->size();
        for (int step = 1; step <= 40; ++step) {
            dialog->resize(start + QSize(step * 37 % 400, step * 23 % 300));
            QCoreApplication::processEvents();
            if (step % 10 == 0) {
                EXPECT_THAT(testing::LayoutFaults(*dialog), IsEmpty()) << step;
            }
        }
        dialog->resize(start);
        QCoreApplication::processEvents();
        for (std::size_t i = 0; i < design.size(); ++i)
            EXPECT_EQ(controls[i]->geometry(), design[i])
                << controls[i]->objectName().toStdString();
    }
}

}  // namespace
}  // namespace varnel

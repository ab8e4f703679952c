#include "ui/frm_sustain_rec.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "tests/support/run_doubles.h"
#include "tests/support/warehouse_builder.h"
#include "tests/ui/support/window_test.h"
#include "ui/list_helpers.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

class SustainRecTest : public ::testing::Test {
  protected:
    void SetUp() override {
        w_.Dimension("dim_product", {"id INTEGER", "code VARCHAR(10)"},
                     {.PrimaryKey = "id", .Selected = false});
        // A second row of the same table, selected: the table is listed once, ticked.
        w_.Register({.Table = "dim_product", .Type = "Dimension", .Selected = 1});
        w_.Dimension("dim_zone", {"zone VARCHAR(10)", "label VARCHAR(20)"},
                     {.PrimaryKey = "", .Selected = false});
        w_.Register({.Table = "dim_gone", .Type = "DIMENSION", .Selected = 1});
        w_.Dimension("dim_plain", {"id INTEGER"},
                     {.PrimaryKey = "id", .Without = {"is_sustainable"}});
        w_.Rows("dim_product", {"id", "code", "is_sustainable"},
                {{1, "F", 0}, {2, "A", 1}, {3, "E", 0}, {4, "B", 1}, {5, "D", 0}, {6, "C", 1}});
        // Every row an UPDATE touches is noted, to tell written rows from untouched ones.
        w_.Exec("CREATE TABLE touched (id INTEGER)");
        w_.Exec(
            "CREATE TRIGGER note_update AFTER UPDATE ON dim_product BEGIN "
            "INSERT INTO touched VALUES (old.id); END");
        warehouse_ = w_.OpenConnection();
    }

    std::unique_ptr<FrmSustainRec> Open() {
        return std::make_unique<FrmSustainRec>(*warehouse_, prompter_, nullptr, QSize(1280, 1024));
    }
    //! Picks dim_product in the drop-down and runs the query, answering Yes.
    void Run(FrmSustainRec& dialog, const QString& query) {
        dialog.cboSelectedTables_DropDown();
        dialog.cboSelectedTables->setCurrentIndex(
            dialog.cboSelectedTables->findText("dim_product"));
        dialog.cboSelectedTables_Click();
        dialog.txtWhereClause->setPlainText(query);
        prompter_.Answers = {true};
        dialog.cmdExecuteQuery_Click();
    }
    std::vector<std::string> Ticks() {
        return w_.Column("select id || ':' || is_sustainable from dim_product order by id");
    }
    std::vector<std::string> Touched() { return w_.Column("select id from touched order by id"); }

    const bool application_ = (testing::EnsureQtApplication(), true);
    testing::WarehouseBuilder w_;
    std::unique_ptr<Connection> warehouse_;
    testing::ScriptedPrompter prompter_;
};

TEST_F(SustainRecTest, TablesListShowsEachExistingTableOnceAndOkWritesEveryRow) {
    auto dialog = Open();
    auto& tables = *dialog->lvwDimensionTables;
    EXPECT_THAT(ListTexts(tables), ElementsAre("dim_plain", "dim_product", "dim_zone"));
    EXPECT_THAT(ListTicks(tables), ElementsAre(true, true, false));
    // Only tables ticked when the drop-down opens can be chosen.
    dialog->cmdUnselectAll_Click();
    tables.topLevelItem(2)->setCheckState(0, Qt::Checked);
    dialog->cboSelectedTables_DropDown();
    EXPECT_EQ(dialog->cboSelectedTables->count(), 1);
    dialog->cmdOK_Click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_THAT(
        w_.Lines("select table_name, is_selected from dwm_tables order by rowid"),
        ElementsAre("dim_product|0", "dim_product|0", "dim_zone|1", "dim_gone|1", "dim_plain|0"));
}

TEST_F(SustainRecTest, SavingWritesOnlyChangedTicksOfTheTableRowsShown) {
    auto dialog = Open();
    Run(*dialog, "select  *  from dim_product where id <= 5");
    EXPECT_EQ(dialog->RecordsQuery, "Select  is_sustainable, * from dim_product where id <= 5  ");
    dialog->lvwDimensionRecords_ColumnClick(1);
    auto& list = *dialog->lvwDimensionRecords;
    EXPECT_THAT(ListTexts(list), ElementsAre("2", "4", "5", "3", "1"));
    EXPECT_THAT(ListTicks(list), ElementsAre(true, true, false, false, false));

    // id 4 cleared, ids 5 and 1 ticked, id 2 cleared and ticked again, id 3 left alone.
    list.topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    list.topLevelItem(2)->setCheckState(0, Qt::Checked);
    list.topLevelItem(4)->setCheckState(0, Qt::Checked);
    list.topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    list.topLevelItem(0)->setCheckState(0, Qt::Checked);
    prompter_.Boxes.clear();
    dialog->cmdSaveSelection_Click();
    EXPECT_THAT(prompter_.Boxes, IsEmpty());
    EXPECT_THAT(Ticks(), ElementsAre("1:1", "2:1", "3:0", "4:0", "5:1", "6:1"));
    EXPECT_THAT(Touched(), ElementsAre("1", "4", "5"));

    w_.Exec("delete from touched");
    dialog->cmdUnsustainAll_Click();
    dialog->cmdSaveSelection_Click();
    EXPECT_THAT(Ticks(), ElementsAre("1:0", "2:0", "3:0", "4:0", "5:0", "6:1"));
    EXPECT_THAT(Touched(), ElementsAre("1", "2", "5"));

    // Results without the table's rows and join queries save nothing.
    w_.Exec("delete from touched");
    for (const QString query :
         {"select distinct code from dim_product", "select * from dim_product where id > 100",
          "select * from dim_product, dim_zone where 1 = 1"}) {
        dialog = Open();
        Run(*dialog, query);
        CheckAllItems(*dialog->lvwDimensionRecords);
        dialog->cmdSaveSelection_Click();
        EXPECT_THAT(Touched(), IsEmpty()) << query.toStdString();
    }
    // A parse reads no misspelt double-quoted column as a string, as SQLite would.
    dialog = Open();
    dialog->txtWhereClause->setPlainText("select \"cdoe\" from dim_product");
    dialog->cmdParseQuery_Click();
    EXPECT_THAT(prompter_.Boxes.back().Text, StartsWith("["));
}

}  // namespace
}  // namespace varnel

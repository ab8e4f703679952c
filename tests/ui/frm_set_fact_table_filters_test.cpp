#include "ui/frm_set_fact_table_filters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

#include "tests/support/run_doubles.h"
#include "tests/support/sqlite_file.h"
#include "tests/support/warehouse_builder.h"
#include "tests/ui/support/scripted_choosers.h"
#include "tests/ui/support/window_test.h"
#include "ui/connection_panel.h"
#include "warehouse/connector.h"
#include "warehouse/tool_tables.h"

namespace varnel {
namespace {

using ::testing::IsEmpty;
using ::testing::StartsWith;

class FactTableFiltersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        w_.Fact("fact_sales", {"id INTEGER", "amount INTEGER", "region VARCHAR(10)"},
                {.PrimaryKey = "id", .WhereClause = "amount > 10"});
        w_.Register({.Table = "fact_sales", .Type = "FACT", .WhereClause = "amount > 5"});
        w_.Fact("fact_stock", {"id INTEGER", "qty INTEGER"}, {.PrimaryKey = "id"});
        w_.Register({.Table = "fact_gone", .Type = "fact", .WhereClause = "x = 1"});
        std::string message;
        ASSERT_TRUE(CreateArchiveLoginTable(w_.Connection(), message)) << message;
        archive_ = testing::CreateSqliteFile(w_.Folder() + "/archive.db");
        w_.Exec("update dwm_archive set Server = 'sqlite', SecureLogin = -1, DB = '" + archive_ +
                "', SQLUserName = 'arch', SQLPassword = 'p''w' where ID = 1");
        login_ = StoredLogin();
    }

    std::unique_ptr<FrmSetFactTableFilters> Open(bool windowsAuth = false,
                                                 bool configMode = false) {
        std::string message;
        EXPECT_TRUE(
            OpenWarehouseConnection("sqlite", w_.Path(), windowsAuth, "", "", warehouse_, message))
            << message;
        return std::make_unique<FrmSetFactTableFilters>(*warehouse_, configMode, saved_, prompter_,
                                                        choosers_);
    }
    static void SetCondition(FrmSetFactTableFilters& dialog, int row, const QString& text) {
        dialog.Conditions().setData(dialog.Conditions().index(row, 1), text, Qt::EditRole);
    }
    testing::Texts Stored() {
        return w_.Lines(
            "select table_name, coalesce(where_clause, '<null>') from dwm_tables "
            "where upper(table_type) = 'FACT' order by table_name, rowid");
    }
    std::string StoredLogin() {
        return w_.Lines("select Server, SecureLogin, SQLUserName, SQLPassword, DB from dwm_archive")
            .at(0);
    }

    const bool application_ = (testing::EnsureQtApplication(), true);
    testing::WarehouseBuilder w_;
    std::string archive_, login_;
    std::unique_ptr<Connection> warehouse_;
    RunSettings saved_;
    testing::ScriptedPrompter prompter_;
    testing::ScriptedChoosers choosers_;
};

TEST_F(FactTableFiltersTest, OkTestsEveryConditionBeforeAnythingIsSaved) {
    const testing::Texts before = Stored();
    const struct {
        QString Sales, Stock;
        testing::Texts Expected;  // empty: refused
    } cases[] = {
        // SQLite would read a misspelt double-quoted column as a string.
        {"amount > 5", "\"qtty\" < 3", {}},
        {"", "qty < 3", {"fact_gone|x = 1", "fact_sales|", "fact_sales|", "fact_stock|qty < 3"}},
        {"amount > 5",
         "  ",
         {"fact_gone|x = 1", "fact_sales|amount > 5", "fact_sales|amount > 5", "fact_stock|"}},
    };
    for (const auto& c : cases) {
        prompter_.Boxes.clear();
        auto dialog = Open();
        SetCondition(*dialog, 0, c.Sales);
        dialog->show();
        const QModelIndex cell = dialog->Conditions().index(1, 1);
        dialog->dgdFactTables->setCurrentIndex(cell);
        dialog->dgdFactTables->edit(cell);
        auto* editor = qobject_cast<QLineEdit*>(dialog->dgdFactTables->indexWidget(cell));
        ASSERT_NE(editor, nullptr);
        editor->setText(c.Stock);
        dialog->cmdOK_Click();
        QCoreApplication::processEvents();
        EXPECT_EQ(dialog->result() == QDialog::Accepted, !c.Expected.empty());
        EXPECT_EQ(Stored(), c.Expected.empty() ? before : c.Expected) << c.Stock.toStdString();
        ASSERT_EQ(prompter_.Boxes.size(), c.Expected.empty() ? 1u : 0u);
        for (const auto& box : prompter_.Boxes) {
            EXPECT_THAT(box.Text, StartsWith("Condition '\"qtty\" < 3' of table 'fact_stock' "
                                             "cannot be parsed, because:\r\n["));
            EXPECT_EQ(dialog->dgdFactTables->currentIndex().row(), 1);
        }
    }
}

// What the dialog hands the archive settings' rules, and where the login goes once they pass.
TEST_F(FactTableFiltersTest, ArchiveSettingsAreCheckedBeforeTheLoginIsStored) {
    const struct {
        bool ConfigMode, WarehouseWindowsAuth;
        std::string Server, Database;
        std::string Message;  // the start of the one message; empty when stored
    } cases[] = {
        {true, false, "sqlite", archive_, ""},
        {false, false, "SQLite", w_.Folder() + "/./warehouse.db",
         "You cannot archive the data warehouse to its own database."},
        {false, true, "sqlite", archive_, ""},
    };
    for (const auto& c : cases) {
        prompter_.Boxes.clear();
        auto dialog = Open(c.WarehouseWindowsAuth, c.ConfigMode);
        SetCondition(*dialog, 1, "qty > 1");
        dialog->uscConnectArchive->SetServer(c.Server);
        dialog->uscConnectArchive->SetDatabase(c.Database);
        dialog->uscConnectArchive->SetWindowsAuth(false);
        dialog->uscConnectArchive->SetUserName("o'brien");
        dialog->cmdOK_Click();
        // The conditions are saved before the archive settings are checked.
        EXPECT_EQ(Stored().back(), "fact_stock|qty > 1");
        EXPECT_EQ(dialog->result() == QDialog::Accepted, c.Message.empty());
        const bool stored = c.Message.empty() && !c.ConfigMode;
        EXPECT_EQ(StoredLogin(), stored ? "sqlite|0|o'brien|p'w|" + archive_ : login_);
        EXPECT_EQ(saved_.ArchiveDatabase + saved_.ArchiveUserName,
                  c.ConfigMode ? archive_ + "o'brien" : "");
        saved_ = RunSettings();
        ASSERT_EQ(prompter_.Boxes.size(), c.Message.empty() ? 0u : 1u) << c.Database;
        for (const auto& box : prompter_.Boxes) EXPECT_THAT(box.Text, StartsWith(c.Message));
    }
}

}  // namespace
}  // namespace varnel

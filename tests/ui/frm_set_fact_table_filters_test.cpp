// The fact table conditions dialog on a real SQLite warehouse, with a scripted
// prompter and scripted choosers in place of the operator.

#include "ui/frm_set_fact_table_filters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <functional>

#include "run/run_settings.h"
#include "tests/support/run_doubles.h"
#include "tests/support/sqlite_file.h"
#include "tests/support/warehouse_builder.h"
#include "tests/ui/support/layout_check.h"
#include "tests/ui/support/qt_application.h"
#include "tests/ui/support/scripted_choosers.h"
#include "ui/connection_panel.h"
#include "ui/dialogs.h"
#include "ui/form_layout.h"
#include "warehouse/connector.h"
#include "warehouse/tool_tables.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

class FactTableFiltersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        w_.Fact("fact_sales", {"id INTEGER", "amount INTEGER", "region VARCHAR(10)"},
                {.PrimaryKey = "id", .WhereClause = "amount > 10"});
        // A second FACT row of the same table, with a greater condition.
        w_.Register({.Table = "fact_sales", .Type = "FACT", .WhereClause = "amount > 5"});
        w_.Fact("fact_stock", {"id INTEGER", "qty INTEGER"}, {.PrimaryKey = "id"});
        w_.Register({.Table = "fact_gone", .Type = "fact", .WhereClause = "x = 1"});
        std::string message;
        ASSERT_TRUE(CreateArchiveLoginTable(w_.Connection(), message)) << message;
        archive_ = testing::CreateSqliteFile(w_.Folder() + "/archive.db");
        w_.Exec("update dwm_archive set Server = 'sqlite', SecureLogin = -1, DB = '" + archive_ +
                "', SQLUserName = 'arch', SQLPassword = 'p''w' where ID = 1");
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
    std::string archive_;
    std::unique_ptr<Connection> warehouse_;
    RunSettings saved_;
    testing::ScriptedPrompter prompter_;
    testing::ScriptedChoosers choosers_;
};

TEST_F(FactTableFiltersTest, LoadShowsExistingFactTablesWithTheGreaterConditionAndTheArchive) {
    const struct {
        const char* Name;
        bool WindowsAuth;
        bool ConfigMode;
        std::string Server;
        bool ArchiveWindowsAuth;
        std::string User;
    } cases[] = {
        {"stored login", false, false, "sqlite", true, "arch"},
        {"warehouse under Windows authentication", true, false, "sqlite", false, "arch"},
        {"configuration mode", false, true, "cfgserver", true, "cfguser"},
    };
    saved_.ArchiveServer = "cfgserver";
    saved_.ArchiveWindowsAuth = true;
    saved_.ArchiveUserName = "cfguser";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto dialog = Open(c.WindowsAuth, c.ConfigMode);
        ASSERT_FALSE(dialog->LoadFailed());
        EXPECT_EQ(dialog->windowTitle(), "Fact Table Conditions for Archiving");
        EXPECT_THAT(dialog->Conditions().Rows(),
                    ElementsAre(ConditionRow{"fact_sales", "amount > 5"},
                                ConditionRow{"fact_stock", std::nullopt}));
        auto& model = dialog->Conditions();
        EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole), "Table Name");
        EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole), "Condition(s)");
        EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
        EXPECT_TRUE(model.flags(model.index(0, 1)) & Qt::ItemIsEditable);
        EXPECT_EQ(dialog->uscConnectArchive->Server(), c.Server);
        EXPECT_EQ(dialog->uscConnectArchive->WindowsAuth(), c.ArchiveWindowsAuth);
        EXPECT_EQ(dialog->uscConnectArchive->UserName(), c.User);
        dialog->Form_Activate();
        EXPECT_EQ(dialog->dgdFactTables->currentIndex().column(), 1);
        EXPECT_THAT(prompter_.Boxes, IsEmpty());
    }
}

TEST_F(FactTableFiltersTest, OkTestsEveryConditionBeforeAnythingIsSaved) {
    const testing::Texts before = Stored();
    const struct {
        const char* Name;
        std::string Sales;
        std::string Stock;
        bool Accepted;
        testing::Texts Expected;
    } cases[] = {
        {"misspelt column", "amount > 5", "qtty < 3", false, before},
        {"empty and unchanged conditions",
         "",
         "qty < 3",
         true,
         {"fact_gone|x = 1", "fact_sales|", "fact_sales|", "fact_stock|qty < 3"}},
        {"the greater condition kept",
         "amount > 5",
         "  ",
         true,
         {"fact_gone|x = 1", "fact_sales|amount > 5", "fact_sales|amount > 5", "fact_stock|"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        prompter_.Boxes.clear();
        auto dialog = Open();
        auto& model = dialog->Conditions();
        model.setData(model.index(0, 1), QString::fromStdString(c.Sales), Qt::EditRole);
        model.setData(model.index(1, 1), QString::fromStdString(c.Stock), Qt::EditRole);
        dialog->cmdOK_Click();
        EXPECT_EQ(dialog->result() == QDialog::Accepted, c.Accepted);
        EXPECT_EQ(Stored(), c.Expected);
        if (c.Accepted) {
            EXPECT_THAT(prompter_.Boxes, IsEmpty());
            continue;
        }
        ASSERT_EQ(prompter_.Boxes.size(), 1u);
        const auto& box = prompter_.Boxes[0];
        EXPECT_EQ(box.Title, "Parse Condition");
        EXPECT_EQ(box.Style, 48);
        EXPECT_THAT(box.Text, StartsWith("Condition 'qtty < 3' of table 'fact_stock' cannot be "
                                         "parsed, because:\r\n["));
        EXPECT_THAT(box.Text, HasSubstr("qtty"));
        EXPECT_THAT(box.Text, EndsWith("]\r\n\r\nPlease correct."));
        EXPECT_EQ(dialog->dgdFactTables->currentIndex().row(), 1);
    }
}

TEST_F(FactTableFiltersTest, ArchiveSettingsAreCheckedBeforeTheLoginIsStored) {
    const std::string login = StoredLogin();
    const struct {
        const char* Name;
        bool WarehouseWindowsAuth;
        std::string Server;
        std::string Database;
        bool ArchiveWindowsAuth;
        std::string Message;  // the start of the one message; empty when stored
    } cases[] = {
        {"(local)", false, "(local)", "x", false, "Please specify the real name of the server."},
        {"a dot", false, ".", "x", false, "Please specify the real name of the server."},
        {"(LOCAL) passes the first rule", true, "(LOCAL)", "x", true,
         "It is not possible to have both connections set to Windows authentication.\r\n"
         "Please select SQL Server authentication for either the data warehouse or the archive "
         "database"},
        {"its own database in other letters", false, "SQLite", w_.Folder() + "/./warehouse.db",
         false,
         "You cannot archive the data warehouse to its own database. Please specify a "
         "different database."},
        {"unreachable archive", false, "sqlite", w_.Folder() + "/missing.db", false,
         "Error while connecting to : sqlite\r\n"},
        {"reachable archive", true, "sqlite", archive_, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        prompter_.Boxes.clear();
        auto dialog = Open(c.WarehouseWindowsAuth);
        dialog->Conditions().setData(dialog->Conditions().index(1, 1), "qty > 1", Qt::EditRole);
        dialog->uscConnectArchive->SetServer(c.Server);
        dialog->uscConnectArchive->SetDatabase(c.Database);
        dialog->uscConnectArchive->SetWindowsAuth(c.ArchiveWindowsAuth);
        dialog->uscConnectArchive->SetUserName("o'brien");
        dialog->cmdOK_Click();
        // The conditions are saved before the archive settings are checked.
        EXPECT_EQ(Stored().back(), "fact_stock|qty > 1");
        if (c.Message.empty()) {
            EXPECT_THAT(prompter_.Boxes, IsEmpty());
            EXPECT_EQ(dialog->result(), QDialog::Accepted);
            EXPECT_EQ(StoredLogin(), "sqlite|0|o'brien|p'w|" + archive_);
            continue;
        }
        ASSERT_EQ(prompter_.Boxes.size(), 1u);
        EXPECT_THAT(prompter_.Boxes[0].Text, StartsWith(c.Message));
        EXPECT_EQ(prompter_.Boxes[0].Title, "Varnel");
        EXPECT_NE(dialog->result(), QDialog::Accepted);
        EXPECT_EQ(StoredLogin(), login);
    }
}

TEST_F(FactTableFiltersTest, ConfigurationModeKeepsTheLoginInTheSavedSettings) {
    const std::string login = StoredLogin();
    auto dialog = Open(false, true);
    dialog->uscConnectArchive->SetServer("sqlite");
    dialog->uscConnectArchive->SetDatabase(archive_);
    dialog->uscConnectArchive->SetUserName("cfg");
    dialog->uscConnectArchive->SetPassword("secret");
    dialog->cmdOK_Click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(saved_.ArchiveServer, "sqlite");
    EXPECT_EQ(saved_.ArchiveDatabase, archive_);
    EXPECT_EQ(saved_.ArchiveUserName, "cfg");
    EXPECT_EQ(saved_.ArchivePassword, "secret");
    EXPECT_FALSE(saved_.ArchiveWindowsAuth);
    EXPECT_EQ(StoredLogin(), login);
}

TEST_F(FactTableFiltersTest, AnEditedConditionIsCompiledOnceTheEditIsInTheGrid) {
    auto dialog = Open();
    auto& model = dialog->Conditions();
    model.setData(model.index(0, 1), "amont = 1", Qt::EditRole);
    // Nothing runs while the editor closes; the test follows from the event loop.
    EXPECT_THAT(prompter_.Boxes, IsEmpty());
    QCoreApplication::processEvents();
    ASSERT_EQ(prompter_.Boxes.size(), 1u);
    EXPECT_THAT(prompter_.Boxes[0].Text, HasSubstr("amont"));
    EXPECT_EQ(prompter_.Boxes[0].Style, 0);
    EXPECT_EQ(prompter_.Boxes[0].Title, "Varnel");
    EXPECT_EQ(model.Rows()[0].WhereClause, "amont = 1");

    prompter_.Boxes.clear();
    for (const char* condition : {"amount = 1", "", "amount = 1"})
        model.setData(model.index(0, 1), condition, Qt::EditRole);
    QCoreApplication::processEvents();
    EXPECT_THAT(prompter_.Boxes, IsEmpty());

    // OK writes the text of an editor still open before it tests and saves.
    dialog->show();
    const QModelIndex cell = model.index(1, 1);
    dialog->dgdFactTables->setCurrentIndex(cell);
    dialog->dgdFactTables->edit(cell);
    auto* editor = qobject_cast<QLineEdit*>(dialog->dgdFactTables->indexWidget(cell));
    ASSERT_NE(editor, nullptr);
    editor->setText("qty >= 7");
    dialog->uscConnectArchive->SetWindowsAuth(false);
    dialog->cmdOK_Click();
    QCoreApplication::processEvents();
    EXPECT_THAT(prompter_.Boxes, IsEmpty());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(Stored().back(), "fact_stock|qty >= 7");
}

TEST_F(FactTableFiltersTest, ShownThroughTheSeamAndClosedAtOnceAfterAFailedLoad) {
    std::string message;
    ASSERT_TRUE(OpenWarehouseConnection("sqlite", w_.Path(), false, "", "", warehouse_, message));
    const auto showAndWait = [](QDialog& dialog) {
        dialog.show();
        for (int i = 0; i < 20 && dialog.isVisible(); ++i) QCoreApplication::processEvents();
        return dialog.isVisible() ? -1 : dialog.result();
    };
    const auto pressOk = [](QDialog& dialog) {
        auto& form = static_cast<FrmSetFactTableFilters&>(dialog);
        form.uscConnectArchive->SetWindowsAuth(false);
        form.cmdOK->click();
        return form.result();
    };
    choosers_.Dialogs = {pressOk, showAndWait};
    EXPECT_TRUE(ShowFactTableFilters(nullptr, *warehouse_, false, saved_, prompter_, choosers_));
    EXPECT_THAT(prompter_.Boxes, IsEmpty());

    w_.Exec("drop table dwm_tables");
    EXPECT_FALSE(ShowFactTableFilters(nullptr, *warehouse_, false, saved_, prompter_, choosers_));
    ASSERT_EQ(choosers_.Requests.size(), 2u);
    EXPECT_EQ(choosers_.Requests[1].Title, "Fact Table Conditions for Archiving");
    ASSERT_EQ(prompter_.Boxes.size(), 1u);
    EXPECT_THAT(prompter_.Boxes[0].Text, HasSubstr("dwm_tables"));
}

TEST_F(FactTableFiltersTest, LayoutIsCleanAndFollowsTheWindowsSize) {
    auto dialog = Open();
    dialog->show();
    const QSize design = dialog->size();
    const QRect ok = dialog->cmdOK->geometry();
    const QRect grid = dialog->dgdFactTables->geometry();
    const int margin = TwipsToPixels(200, dialog->logicalDpiX());
    for (const QSize grow : {QSize(0, 0), QSize(300, 200), QSize(45, 310), QSize(0, 0)}) {
        SCOPED_TRACE(grow.width());
        dialog->resize(design + grow);
        QCoreApplication::processEvents();
        EXPECT_THAT(testing::LayoutFaults(*dialog), IsEmpty());
        EXPECT_EQ(dialog->dgdFactTables->geometry(),
                  grid.adjusted(0, 0, grow.width(), grow.height()));
        EXPECT_EQ(dialog->cmdOK->geometry(), ok.translated(grow.width(), grow.height()));
        const auto* table = dialog->dgdFactTables;
        EXPECT_EQ(table->columnWidth(1),
                  table->width() - table->frameWidth() - table->columnViewportPosition(1) - margin);
    }
    // Widening the first column gives the last what is left of the grid.
    dialog->dgdFactTables->setColumnWidth(0, 90);
    const auto* table = dialog->dgdFactTables;
    EXPECT_EQ(table->columnWidth(1), table->width() - table->frameWidth() - 90 - margin);
}

}  // namespace
}  // namespace varnel

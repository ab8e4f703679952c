// Grabs the two settings dialogs, at their default size and resized, on a small
// SQLite warehouse into PNG files:
//
//   varnel_dialog_screenshots <output folder>
//
// scripts/screenshots.sh runs it under xvfb-run.

#include <QApplication>
#include <QDialog>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <filesystem>
#include <iostream>

#include "run/prompter.h"
#include "run/run_settings.h"
#include "tests/support/warehouse_builder.h"
#include "tests/ui/support/scripted_choosers.h"
#include "ui/frm_set_fact_table_filters.h"
#include "ui/frm_sustain_rec.h"
#include "warehouse/tool_tables.h"

namespace {

std::string folder;
int failures = 0;

void Save(QWidget& widget, const std::string& name) {
    QApplication::processEvents();
    const std::string path = folder + "/" + name;
    if (widget.grab().save(QString::fromStdString(path))) {
        std::cout << "wrote " << path << '\n';
    } else {
        std::cerr << "could not write " << path << '\n';
        ++failures;
    }
}

void ShowBothSizes(QDialog& dialog, const std::string& name, QSize grow) {
    dialog.show();
    Save(dialog, name + ".png");
    dialog.resize(dialog.size() + grow);
    Save(dialog, name + "_resized.png");
    dialog.hide();
}

class QuietPrompter : public varnel::Prompter {
  public:
    void ShowMessage(const std::string& text, int, const std::string&) override {
        std::cerr << text << '\n';
        ++failures;
    }
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
};

void BuildWarehouse(varnel::testing::WarehouseBuilder& w) {
    w.Dimension("dim_category", {"id INTEGER", "name VARCHAR(20)"}, {.PrimaryKey = "id"});
    w.Dimension("dim_customer", {"id INTEGER", "code VARCHAR(10)", "name VARCHAR(30)"},
                {.PrimaryKey = "id", .Selected = false});
    w.Dimension("dim_product", {"id INTEGER", "code VARCHAR(10)", "name VARCHAR(30)"},
                {.PrimaryKey = "id"});
    w.Fact("fact_sales", {"id INTEGER", "product_id INTEGER", "sale_date DATETIME"},
           {.PrimaryKey = "id", .WhereClause = "sale_date < '2024-01-01'"});
    w.Fact("fact_stock", {"id INTEGER", "product_id INTEGER", "qty INTEGER"}, {.PrimaryKey = "id"});
    w.Fact("fact_returns", {"id INTEGER", "product_id INTEGER", "reason VARCHAR(20)"},
           {.PrimaryKey = "id", .WhereClause = "reason = 'damaged'"});
    w.Rows("dim_product", {"id", "code", "name", "is_sustainable"},
           {{1, "A-100", "Apple juice", 1},
            {2, "B-200", "Bean soup", 0},
            {3, "C-300", "Corn flakes", 1},
            {4, "D-400", "Date syrup", 0},
            {5, "E-500", "Egg noodles", 0}});
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: varnel_dialog_screenshots <output folder>\n";
        return 2;
    }
    folder = argv[1];
    std::filesystem::create_directories(folder);

    varnel::testing::WarehouseBuilder w;
    BuildWarehouse(w);
    std::string message;
    if (!varnel::CreateArchiveLoginTable(w.Connection(), message)) {
        std::cerr << message << '\n';
        return 1;
    }
    w.Exec(
        "update dwm_archive set Server = 'sqlite', DB = '/srv/warehouse/archive.db', "
        "SQLUserName = 'archiver', SQLPassword = 'secret' where ID = 1");
    auto warehouse = w.OpenConnection();

    QuietPrompter prompter;
    varnel::testing::ScriptedChoosers choosers;
    varnel::RunSettings saved;
    {
        varnel::FrmSetFactTableFilters dialog(*warehouse, false, saved, prompter, choosers);
        ShowBothSizes(dialog, "fact_table_filters", {220, 120});
    }
    {
        varnel::FrmSustainRec dialog(*warehouse, prompter, nullptr, QSize(1280, 1024));
        dialog.cboSelectedTables_DropDown();
        dialog.cboSelectedTables->setCurrentIndex(
            dialog.cboSelectedTables->findText("dim_product"));
        dialog.cboSelectedTables_Click();
        dialog.txtWhereClause->setPlainText("Select * from dim_product where id <= 5");
        dialog.cmdExecuteQuery_Click();
        ShowBothSizes(dialog, "sustain_rec", {240, 160});
    }
    return failures == 0 ? 0 : 1;
}

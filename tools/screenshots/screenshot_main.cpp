// Grabs the progress window during and after a run of the real tasks on a small
// SQLite warehouse, the connection panel, and the main window in its two modes,
// into PNG files:
//
//   varnel_screenshots <output folder>
//
// scripts/screenshots.sh runs it under xvfb-run.

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPixmap>
#include <filesystem>
#include <iostream>

#include "driver/run_driver.h"
#include "run/process_state.h"
#include "run/progress_window.h"
#include "run/prompter.h"
#include "tests/support/warehouse_builder.h"
#include "tests/ui/support/scripted_choosers.h"
#include "ui/connection_panel.h"
#include "ui/frm_main.h"
#include "ui/frm_progress.h"

namespace {

using varnel::FrmProgress;

std::string folder;
int failures = 0;

void Save(QWidget* widget, const std::string& name) {
    QApplication::processEvents();
    const std::string path = folder + "/" + name;
    if (widget->grab().save(QString::fromStdString(path))) {
        std::cout << "wrote " << path << '\n';
    } else {
        std::cerr << "could not write " << path << '\n';
        ++failures;
    }
}

//! The window, grabbed once while detection shows the relation being checked.
class GrabbingWindow : public FrmProgress {
  public:
    using FrmProgress::FrmProgress;

    void ForeignTableLabel(const std::string& text) override {
        FrmProgress::ForeignTableLabel(text);
        if (grabbed_) return;
        grabbed_ = true;
        ProgressVal(1);
        Comment("Marking unused elements");
        Save(Form(), "progress_running.png");
    }
    using FrmProgress::ForeignTableLabel;

  private:
    bool grabbed_ = false;
};

void BuildWarehouse(varnel::testing::WarehouseBuilder& w) {
    w.Dimension("dim_category", {"id INTEGER", "name VARCHAR(20)"},
                {.PrimaryKey = "id", .OrgPkey = "name"});
    w.Dimension("dim_product", {"id INTEGER", "code VARCHAR(10)", "category_id INTEGER"},
                {.PrimaryKey = "id", .OrgPkey = "code"});
    w.Fact("fact_sales", {"id INTEGER", "product_id INTEGER", "sale_date DATETIME"},
           {.PrimaryKey = "id", .WhereClause = "sale_date < '2024-01-01'"});
    w.Relation("dim_product", "id", "fact_sales", "product_id");
    w.Relation("dim_category", "id", "dim_product", "category_id");
    w.Rows("dim_category", {"id", "name"}, {{1, "food"}, {2, "toys"}});
    w.Rows("dim_product", {"id", "code", "category_id"}, {{1, "A", 1}, {2, "B", 2}});
    w.Rows("fact_sales", {"id", "product_id", "sale_date"}, {{1, 1, "2024-05-01 10:00:00"}});
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: varnel_screenshots <output folder>\n";
        return 2;
    }
    folder = argv[1];
    std::filesystem::create_directories(folder);

    varnel::testing::WarehouseBuilder warehouse;
    BuildWarehouse(warehouse);
    warehouse.Close();

    class QuietPrompter : public varnel::Prompter {
        void ShowMessage(const std::string& text, int, const std::string&) override {
            std::cerr << text << '\n';
        }
        bool AskYesNo(const std::string&, const std::string&) override { return false; }
    } prompter;
    varnel::ProcessState state;
    state.SetPrompter(&prompter);
    state.SetProgressWindowFactory([&state] { return std::make_unique<GrabbingWindow>(state); });

    varnel::RunSettings settings;
    settings.Server = "sqlite";
    settings.Database = warehouse.Path();
    settings.WindowsAuth = true;
    settings.CheckMetadata = settings.MarkUnused = settings.GenerateReports = true;
    settings.DeleteMarked = true;
    settings.LogRequested = true;
    settings.LogDirectory = warehouse.Folder() + "/logs";
    if (!varnel::ExecuteRun(state, settings)) {
        std::cerr << "the run failed: " << state.MessageText << '\n';
        return 1;
    }
    if (varnel::ProgressWindow* window = state.ActiveProgressWindow())
        Save(static_cast<FrmProgress*>(window)->Form(), "progress_done.png");
    state.UnloadProgressWindow();

    varnel::testing::ScriptedChoosers choosers;
    QWidget frame;
    auto* panel = new varnel::ConnectionPanel(choosers, &frame);
    panel->SetServer("sqlite");
    panel->SetDatabase("/srv/warehouse/sales.db");
    panel->SetWindowsAuth(true);
    panel->move(12, 12);
    frame.resize(panel->width() + 24, panel->height() + 24);
    frame.show();
    Save(&frame, "connection_panel.png");

    // The main window as an operator fills it in, then as configuration mode opens it
    // from a command line.
    const std::string logs = warehouse.Folder() + "/logs";
    {
        varnel::FrmMain main(state, choosers);
        main.uscConnectDW->SetServer("sqlite");
        main.uscConnectDW->SetDatabase("/srv/warehouse/sales.db");
        main.uscConnectDW->SetWindowsAuth(true);
        main.chkOptions[2]->setChecked(true);
        main.chkOptions[3]->setChecked(true);
        main.chkOptions[4]->setChecked(true);
        main.txtLogDir->setText("/var/log");
        main.show();
        Save(&main, "main_window.png");
    }
    state.ConfigMode = true;
    state.ConfigFileName = warehouse.Folder() + "/nightly.cmd";
    state.SavedSettings.Server = "sqlite";
    state.SavedSettings.Database = warehouse.Path();
    state.SavedSettings.UserName = "etl";
    state.SavedSettings.MarkUnused = state.SavedSettings.DeleteMarked = true;
    state.SavedSettings.AtomicDelete = true;
    state.SavedSettings.LogDirectory = logs;
    {
        varnel::FrmMain main(state, choosers);
        // A path too long for its field shows from its start.
        main.uscConnectDW->txtDatabase->setCursorPosition(0);
        main.show();
        Save(&main, "main_window_config.png");
    }

    state.SetPrompter(nullptr);
    return failures == 0 ? 0 : 1;
}

// The progress window on Qt's offscreen platform: its layout in each state, the
// frame moves, the poll, and whole runs of the real tasks on SQLite warehouses.

#include "ui/frm_progress.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <csignal>
#include <map>

#include "driver/run_driver.h"
#include "run/console_progress.h"
#include "run/process_state.h"
#include "tests/support/run_doubles.h"
#include "tests/support/warehouse_builder.h"
#include "tests/ui/support/layout_check.h"
#include "tests/ui/support/qt_application.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::IsEmpty;
using testing::LayoutFaults;

constexpr auto kNoPump = std::chrono::hours(1);

//! What a run did to its window, kept after the window is unloaded.
struct RunNote {
    int Polls = 0;
    int CancelSeenAtPoll = 0;
    int HeightBeforeRemoval = 0;
    int IndicatorHeight = 0;
};

//! The real window, noting what the run did to it.
class RecordingFrm : public FrmProgress {
  public:
    using FrmProgress::FrmProgress;

    bool CheckCancelState() override {
        ++note->Polls;
        const bool cancelled = FrmProgress::CheckCancelState();
        if (cancelled && note->CancelSeenAtPoll == 0) note->CancelSeenAtPoll = note->Polls;
        return cancelled;
    }
    void RemoveProgIndicator() override {
        note->HeightBeforeRemoval = Form()->height();
        note->IndicatorHeight = ProgIndFrame->height();
        FrmProgress::RemoveProgIndicator();
    }
    void Show() override {
        FrmProgress::Show();
        if (clickCancelOnShow) PostClick(cmdCancel);
    }

    static void PostClick(QWidget* button) {
        const QPointF centre(button->width() / 2.0, button->height() / 2.0);
        const QPointF global = button->mapToGlobal(centre);
        for (const auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(
                button,
                new QMouseEvent(type, centre, global, Qt::LeftButton,
                                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                Qt::NoModifier));
    }

    bool clickCancelOnShow = false;
    std::shared_ptr<RunNote> note = std::make_shared<RunNote>();
};

class MainWindowDouble : public MainWindowHost {
  public:
    void ShowMainWindow() override { ++shown; }
    void HideMainWindow() override {}
    int shown = 0;
};

//! Every control's place and visibility, and the window's size.
struct Snapshot {
    std::map<std::string, QRect> Places;
    std::map<std::string, bool> Shown;
    QSize WindowSize;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const FrmProgress& window) {
    Snapshot snapshot;
    for (const QWidget* widget : window.Form()->findChildren<QWidget*>()) {
        snapshot.Places[widget->objectName().toStdString()] = widget->geometry();
        snapshot.Shown[widget->objectName().toStdString()] = !widget->isHidden();
    }
    snapshot.WindowSize = window.Form()->size();
    return snapshot;
}

class FrmProgressTest : public testing::RunTest {
  protected:
    void SetUp() override {
        testing::EnsureQtApplication();
        RunTest::SetUp();
        state_.MainWindow = &mainWindow_;
    }
    void TearDown() override {
        RunTest::TearDown();
        state_.MainWindow = nullptr;
        testing::DeleteDeferredWidgets();
    }

    //! A window loaded as a run of every task loads it.
    RecordingFrm& Load(std::chrono::milliseconds pumpInterval = std::chrono::milliseconds(0)) {
        auto window = std::make_unique<RecordingFrm>(state_, pumpInterval);
        RecordingFrm& loaded = *window;
        RunSettings settings;
        settings.CheckMetadata = settings.ArchiveFacts = settings.MarkUnused = true;
        settings.GenerateReports = settings.DeleteMarked = true;
        window->Settings(settings);
        LoadProgressWindow(state_, *window);
        window->Show();
        state_.InstallProgressWindow(std::move(window));
        return loaded;
    }

    //! A warehouse with one fact table and one dimension of which one row is unused.
    testing::WarehouseBuilder& Warehouse() {
        w_.Dimension("dim_product", {"id INTEGER", "code VARCHAR(10)"},
                     {.PrimaryKey = "id", .OrgPkey = "code"});
        w_.Fact("fact_sales", {"id INTEGER", "product_id INTEGER"}, {.PrimaryKey = "id"});
        w_.Relation("dim_product", "id", "fact_sales", "product_id");
        w_.Rows("dim_product", {"id", "code"}, {{1, "A"}, {2, "B"}});
        w_.Rows("fact_sales", {"id", "product_id"}, {{1, 1}});
        return w_;
    }

    //! Runs -mark -del on the warehouse through the run driver, in a real window.
    bool RunMarkAndDelete(bool clickCancelOnShow) {
        state_.SetProgressWindowFactory(
            [this, clickCancelOnShow]() -> std::unique_ptr<ProgressWindow> {
                auto window = std::make_unique<RecordingFrm>(state_);
                window->clickCancelOnShow = clickCancelOnShow;
                window->note = note_;
                window_ = window.get();
                return window;
            });
        settings_.Server = "sqlite";
        settings_.Database = w_.Path();
        settings_.WindowsAuth = settings_.MarkUnused = settings_.DeleteMarked = true;
        settings_.LogRequested = true;
        settings_.LogDirectory = dir_.File("logs");
        return ExecuteRun(state_, settings_);
    }

    MainWindowDouble mainWindow_;
    testing::WarehouseBuilder w_;
    RunSettings settings_;
    RecordingFrm* window_ = nullptr;
    std::shared_ptr<RunNote> note_ = std::make_shared<RunNote>();
};

TEST_F(FrmProgressTest, NoCaptionIsClippedAndNoControlsOverlapInAnyState) {
    const struct {
        const char* State;
        std::function<void(FrmProgress&)> Reach;
    } cases[] = {
        {"loaded, a task running",
         [](FrmProgress& w) {
             w.TaskCaption(0, w.TaskCaption(0) + "....");
             w.Comment("Checking the star relations of dim_product");
         }},
        {"detecting a relation",
         [](FrmProgress& w) {
             w.HideFrame(ProgressFrame::OverallProgFrame);
             w.ShowFrame(ProgressFrame::DetectProgFrame);
             w.PrimaryTableLabel("dim_customer_geography_region");
             w.ForeignTableLabel("fact_internet_sales_by_customer_and_day_of_order");
         }},
        {"after success",
         [](FrmProgress& w) {
             for (std::size_t row = 0; row < w.TaskRowCount(); ++row) w.ShowCheckMark(row);
             w.RemoveProgIndicator();
             w.EndTimeLabel("Wednesday, Sep 30 2099 23:59:59");
             w.EnableObject(ProgressControl::cmdOK);
             w.DisableObject(ProgressControl::cmdCancel);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.State);
        FrmProgress& window = Load();
        window.ServerLabel("sqlite");
        window.DatabaseLabel("/var/lib/varnel/warehouses/sales_and_marketing_2024.db");
        window.StartTimeLabel("Wednesday, Sep 30 2099 23:59:59");
        c.Reach(window);
        EXPECT_THAT(LayoutFaults(*window.Form()), IsEmpty());
        EXPECT_EQ(window.lblTaskName.size(), 5u);
    }
}

TEST_F(FrmProgressTest, HidingAndShowingFramesMovesTheBarButtonsAndBottomByTheFrameHeight) {
    using F = ProgressFrame;
    const struct {
        const char* Name;
        std::vector<std::pair<bool, F>> Steps;  // true shows, false hides
    } cases[] = {
        {"comment frame hidden, then shown",
         {{false, F::OverallProgFrame}, {true, F::OverallProgFrame}}},
        {"relation frame shown, then hidden",
         {{true, F::DetectProgFrame}, {false, F::DetectProgFrame}}},
        {"a second hide changes nothing",
         {{false, F::OverallProgFrame}, {false, F::OverallProgFrame}, {true, F::OverallProgFrame}}},
        {"a show of a shown frame changes nothing",
         {{true, F::OverallProgFrame}, {false, F::OverallProgFrame}, {true, F::OverallProgFrame}}},
        {"the swap of detection and back",
         {{false, F::OverallProgFrame},
          {true, F::DetectProgFrame},
          {false, F::DetectProgFrame},
          {true, F::OverallProgFrame}}},
    };
    const std::vector<std::string> moving = {"prgProgress", "cmdOK", "cmdCancel"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        FrmProgress& window = Load();
        const Snapshot start = Take(window);
        for (const auto& [show, frame] : c.Steps) {
            const Snapshot before = Take(window);
            const std::string name =
                frame == F::OverallProgFrame ? "OverallProgFrame" : "DetectProgFrame";
            const bool changes = before.Shown.at(name) != show;
            const int delta = changes ? (show ? 1 : -1) * before.Places.at(name).height() : 0;
            show ? window.ShowFrame(frame) : window.HideFrame(frame);
            Snapshot expected = before;
            for (const auto& control : moving) expected.Places[control].translate(0, delta);
            expected.Places["ProgIndFrame"].setHeight(before.Places.at("ProgIndFrame").height() +
                                                      delta);
            expected.WindowSize.rheight() += delta;
            expected.Shown[name] = changes ? show : before.Shown.at(name);
            EXPECT_EQ(Take(window), expected) << (show ? "show " : "hide ") << name;
            EXPECT_EQ(window.FrameVisible(frame), show);
            // The two frames share their place: one of them at a time is tidy.
            if (!window.FrameVisible(F::OverallProgFrame) ||
                !window.FrameVisible(F::DetectProgFrame)) {
                EXPECT_THAT(LayoutFaults(*window.Form()), IsEmpty());
            }
        }
        EXPECT_EQ(Take(window), start);
    }
}

TEST_F(FrmProgressTest, PollAnswersCancelOnlyOnceTheClickHasBeenDelivered) {
    const struct {
        const char* Name;
        std::chrono::milliseconds Interval;
        std::function<void(RecordingFrm&)> Before;
        bool Cancelled;
    } cases[] = {
        {"nothing happened", std::chrono::milliseconds(0), [](RecordingFrm&) {}, false},
        {"a click on Cancel", std::chrono::milliseconds(0),
         [](RecordingFrm& w) { RecordingFrm::PostClick(w.cmdCancel); }, true},
        // Polls that do not let events run see the click only after someone else did.
        {"a click while polls do not pump", kNoPump,
         [](RecordingFrm& w) {
             w.ProcessEvents();
             RecordingFrm::PostClick(w.cmdCancel);
         },
         false},
        {"a click delivered between polls", kNoPump,
         [](RecordingFrm& w) {
             w.ProcessEvents();
             RecordingFrm::PostClick(w.cmdCancel);
             QCoreApplication::processEvents();
         },
         true},
        {"the title-bar close while the tasks run", kNoPump,
         [](RecordingFrm& w) { w.Form()->close(); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        RecordingFrm& window = Load(c.Interval);
        c.Before(window);
        EXPECT_EQ(window.CheckCancelState(), c.Cancelled);
        EXPECT_EQ(window.CancelPressed(), c.Cancelled);
        // The next poll finds no new input and answers without looking.
        EXPECT_FALSE(window.CheckCancelState());
        EXPECT_TRUE(window.Form()->isVisible());
    }
}

TEST_F(FrmProgressTest, SignalPressesCancelAtTheNextPoll) {
    RecordingFrm& window = Load(kNoPump);
    window.ProcessEvents();
    ClearCancelSignal();
    InstallCancelSignalHandlers();
    std::raise(SIGINT);
    const bool cancelled = window.CheckCancelState();
    const bool pressed = window.ProgressWindow::CancelPressed();
    ClearCancelSignal();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(pressed);
}

TEST_F(FrmProgressTest, MarkAndDeleteRunShowsTwoRowsAndEndsWithOkOnly) {
    Warehouse();
    ASSERT_TRUE(RunMarkAndDelete(false)) << state_.MessageText;
    ASSERT_EQ(state_.ActiveProgressWindow(), window_);
    FrmProgress& w = *window_;
    ASSERT_EQ(w.lblTaskName.size(), 2u);
    EXPECT_EQ(w.lblTaskName[0]->text().toStdString(), "Detect and mark unused dimension elements");
    EXPECT_EQ(w.lblTaskName[1]->text().toStdString(), "Delete marked unused dimension elements");
    EXPECT_EQ(w.lblTaskName[1]->y(), w.lblTaskName[0]->y() + w.lblTaskName[0]->height());
    for (std::size_t row = 0; row < 2; ++row) {
        EXPECT_EQ(w.imgChecked[row]->y(), w.lblTaskName[row]->y());
        EXPECT_TRUE(w.imgChecked[row]->isVisibleTo(w.Form())) << row;
    }
    EXPECT_TRUE(w.cmdOK->isEnabled());
    EXPECT_FALSE(w.cmdCancel->isEnabled());
    EXPECT_TRUE(w.ProgIndFrame->isHidden());
    EXPECT_EQ(w.Form()->height(), note_->HeightBeforeRemoval - note_->IndicatorHeight);
    EXPECT_EQ(w.cmdOK->y(), w.ProgIndFrame->y());
    EXPECT_FALSE(w.lblEndTime->text().isEmpty());
    EXPECT_THAT(LayoutFaults(*w.Form()), IsEmpty());
    EXPECT_THAT(w_.Column("SELECT code FROM dim_product"), ElementsAre("A"));

    w.Form()->close();  // the title-bar close is OK once the run is done
    EXPECT_EQ(state_.ActiveProgressWindow(), nullptr);
    EXPECT_EQ(mainWindow_.shown, 1);
}

TEST_F(FrmProgressTest, CancelClickedBeforeTheTasksStopsTheRunAtTheFirstPoll) {
    Warehouse();
    EXPECT_FALSE(RunMarkAndDelete(true));
    EXPECT_THAT(state_.MessageText, EndsWith("Marking process cancelled by user.\r\n"));
    EXPECT_EQ(note_->CancelSeenAtPoll, 1);
    EXPECT_EQ(state_.ActiveProgressWindow(), nullptr);  // the failed run unloaded it
    EXPECT_EQ(w_.Count("dim_product"), 2);              // deletion never ran
    EXPECT_EQ(w_.Value("SELECT lock FROM dwm_multiuse"), "0");
}

}  // namespace
}  // namespace varnel

// The progress window on Qt's offscreen platform: its layout in each state, the
// frame moves, the poll, and whole runs of the real tasks on SQLite warehouses.

#include "ui/frm_progress.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <csignal>
#include <map>

#include "driver/run_driver.h"
#include "run/console_progress.h"
#include "tests/support/run_doubles.h"
#include "tests/support/warehouse_builder.h"
#include "tests/ui/support/window_test.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::IsEmpty;
using testing::LayoutFaults;
using ms = std::chrono::milliseconds;

constexpr auto kNoPump = std::chrono::hours(1);

//! The real window, noting what the run did to it.
class RecordingFrm : public FrmProgress {
  public:
    using FrmProgress::FrmProgress;

    bool CheckCancelState() override {
        ++polls_;
        const bool cancelled = FrmProgress::CheckCancelState();
        if (cancelled && cancelSeenAtPoll && *cancelSeenAtPoll == 0) *cancelSeenAtPoll = polls_;
        return cancelled;
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
    int* cancelSeenAtPoll = nullptr;  // notes the poll that first saw Cancel, past the window

  private:
    int polls_ = 0;
};

//! Every control's place and visibility, and the window's size.
std::map<std::string, std::pair<QRect, bool>> Take(const FrmProgress& window) {
    std::map<std::string, std::pair<QRect, bool>> places;
    for (const QWidget* w : window.Form()->findChildren<QWidget*>())
        places[w->objectName().toStdString()] = {w->geometry(), !w->isHidden()};
    places["window"] = {window.Form()->rect(), true};
    return places;
}

class FrmProgressTest : public testing::RunTest, public MainWindowHost {
  protected:
    void ShowMainWindow() override { ++mainShown_; }
    void HideMainWindow() override {}

    void SetUp() override {
        testing::EnsureQtApplication();
        RunTest::SetUp();
        state_.MainWindow = this;
    }
    void TearDown() override {
        RunTest::TearDown();
        state_.MainWindow = nullptr;
        testing::DeleteDeferredWidgets();
    }

    //! A window loaded as a run of every task loads it.
    RecordingFrm& Load(ms pumpInterval = ms(0)) {
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

    //! Runs -mark -del through the run driver, the window's Cancel clicked as it shows or not.
    bool RunMarkAndDelete(bool clickCancelOnShow) {
        state_.SetProgressWindowFactory([=, this]() -> std::unique_ptr<ProgressWindow> {
            auto window = std::make_unique<RecordingFrm>(state_);
            window->clickCancelOnShow = clickCancelOnShow;
            window->cancelSeenAtPoll = &cancelSeenAtPoll_;
            window_ = window.get();
            return window;
        });
        RunSettings settings;
        settings.Server = "sqlite";
        settings.Database = w_.Path();
        settings.WindowsAuth = settings.MarkUnused = settings.DeleteMarked = true;
        settings.LogRequested = true;
        settings.LogDirectory = dir_.File("logs");
        return ExecuteRun(state_, settings);
    }

    int mainShown_ = 0;
    testing::WarehouseBuilder w_;
    RecordingFrm* window_ = nullptr;
    int cancelSeenAtPoll_ = 0;
};

// Every frame state with long texts: nothing clipped or overlapping, and each hide or show
// moving the bar, the buttons and the bottom by the frame's height.
TEST_F(FrmProgressTest, FramesMoveEverythingBelowByTheirHeightAndNoStateIsUntidy) {
    using F = ProgressFrame;
    const std::vector<std::pair<bool, F>> cases[] = {
        // true shows, false hides; a second hide or show changes nothing.
        {{false, F::OverallProgFrame}, {false, F::OverallProgFrame}, {true, F::OverallProgFrame}},
        {{true, F::OverallProgFrame}, {true, F::DetectProgFrame}, {false, F::DetectProgFrame}},
        {{false, F::OverallProgFrame},
         {true, F::DetectProgFrame},
         {false, F::DetectProgFrame},
         {true, F::OverallProgFrame}},
    };
    for (const auto& steps : cases) {
        FrmProgress& window = Load();
        window.DatabaseLabel("/var/lib/varnel/warehouses/sales_and_marketing_2024.db");
        window.StartTimeLabel("Wednesday, Sep 30 2099 23:59:59");
        window.TaskCaption(0, window.TaskCaption(0) + "....");
        window.Comment("Checking the star relations of dim_product");
        window.PrimaryTableLabel("dim_customer_geography_region");
        window.ForeignTableLabel("fact_internet_sales_by_customer_and_day_of_order");
        const auto start = Take(window);
        for (const auto& [show, frame] : steps) {
            auto expected = Take(window);
            auto& [place, shown] =
                expected[frame == F::OverallProgFrame ? "OverallProgFrame" : "DetectProgFrame"];
            const int delta = shown == show ? 0 : (show ? 1 : -1) * place.height();
            shown = show;
            for (const char* control : {"prgProgress", "cmdOK", "cmdCancel"})
                expected[control].first.translate(0, delta);
            expected["ProgIndFrame"].first.adjust(0, 0, 0, delta);
            expected["window"].first.adjust(0, 0, 0, delta);
            show ? window.ShowFrame(frame) : window.HideFrame(frame);
            EXPECT_EQ(Take(window), expected);
            // The two frames share one place: a run shows one of them at a time.
            if (!expected["OverallProgFrame"].second || !expected["DetectProgFrame"].second) {
                EXPECT_THAT(LayoutFaults(*window.Form()), IsEmpty());
            }
        }
        EXPECT_EQ(Take(window), start);
    }
    // Done, the window is shorter by the indicator frame (the finished run below checks the
    // layout of this state).
    FrmProgress& w = Load();
    const int height = w.Form()->height() - w.ProgIndFrame->height();
    w.RemoveProgIndicator();
    EXPECT_EQ(w.Form()->height(), height);
    EXPECT_EQ(w.cmdOK->y(), w.ProgIndFrame->y());
}

TEST_F(FrmProgressTest, PollAnswersCancelOnlyOnceTheClickHasBeenDelivered) {
    const auto click = [](RecordingFrm& w) {
        w.ProcessEvents();
        RecordingFrm::PostClick(w.cmdCancel);
    };
    const struct {
        const char* Name;
        ms Interval;
        std::function<void(RecordingFrm&)> Before;
        bool Cancelled;
    } cases[] = {
        {"a click, polls pump", ms(0), click, true},
        {"a click, polls do not pump", kNoPump, click, false},
        {"the title-bar close while the tasks run", kNoPump,
         [](RecordingFrm& w) { w.Form()->close(); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        RecordingFrm& window = Load(c.Interval);
        c.Before(window);
        EXPECT_EQ(window.CheckCancelState(), c.Cancelled);
        EXPECT_FALSE(window.CheckCancelState());  // no new input: answered without looking
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
    ClearCancelSignal();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    EXPECT_TRUE(cancelled);
}

// A warehouse with one unused row: a Cancel queued before the tasks stops the run at the first
// poll; the next run ends with OK only and the rows placed one under the other.
TEST_F(FrmProgressTest, MarkAndDeleteRunStopsAtAQueuedCancelOrEndsWithOkOnly) {
    w_.OneUnusedProduct();
    EXPECT_FALSE(RunMarkAndDelete(true));
    EXPECT_THAT(state_.MessageText, EndsWith("Marking process cancelled by user.\r\n"));
    EXPECT_EQ(cancelSeenAtPoll_, 1);
    EXPECT_EQ(state_.ActiveProgressWindow(), nullptr);
    EXPECT_EQ(w_.Count("dim_product"), 2);  // deletion never ran
    EXPECT_EQ(w_.Value("SELECT lock FROM dwm_multiuse"), "0");

    ASSERT_TRUE(RunMarkAndDelete(false)) << state_.MessageText;
    ASSERT_EQ(state_.ActiveProgressWindow(), window_);
    FrmProgress& w = *window_;
    ASSERT_EQ(w.lblTaskName.size(), 2u);
    EXPECT_EQ(w.lblTaskName[1]->y(), w.lblTaskName[0]->y() + w.lblTaskName[0]->height());
    EXPECT_TRUE(w.imgChecked[1]->isVisibleTo(w.Form()));
    EXPECT_TRUE(w.cmdOK->isEnabled());
    EXPECT_FALSE(w.cmdCancel->isEnabled());
    EXPECT_THAT(LayoutFaults(*w.Form()), IsEmpty());
    EXPECT_THAT(w_.Column("SELECT code FROM dim_product"), ElementsAre("A"));
    w.Form()->close();  // the title-bar close is OK once the run is done
    EXPECT_EQ(state_.ActiveProgressWindow(), nullptr);
    EXPECT_EQ(mainShown_, 2);
}

}  // namespace
}  // namespace varnel

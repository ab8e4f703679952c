#include "ui/frm_progress.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <csignal>

#include "driver/run_driver.h"
#include "run/console_progress.h"
#include "tests/support/run_doubles.h"
#include "tests/support/warehouse_builder.h"
#include "tests/ui/support/window_test.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
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

    //! A window loaded and shown as a run loads it.
    RecordingFrm& Load(ms pumpInterval) {
        auto window = std::make_unique<RecordingFrm>(state_, pumpInterval);
        RecordingFrm& loaded = *window;
        window->Settings(RunSettings());
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

// A click is seen once it has been delivered (a poll that may not pump yet does not see it),
// and a close from the title bar or a signal presses Cancel; a second poll looks at nothing new.
TEST_F(FrmProgressTest, PollAnswersCancelOnceAClickIsDeliveredOrOnCloseOrSignal) {
    for (const ms interval : {ms(0), ms(kNoPump)}) {
        RecordingFrm& window = Load(interval);
        window.ProcessEvents();
        RecordingFrm::PostClick(window.cmdCancel);
        EXPECT_EQ(window.CheckCancelState(), interval == ms(0));
        EXPECT_FALSE(window.CheckCancelState());
    }
    RecordingFrm& closed = Load(kNoPump);
    closed.Form()->close();
    EXPECT_TRUE(closed.CheckCancelState());
    EXPECT_TRUE(closed.Form()->isVisible());

    RecordingFrm& signalled = Load(kNoPump);
    signalled.ProcessEvents();
    ClearCancelSignal();
    InstallCancelSignalHandlers();
    std::raise(SIGINT);
    const bool cancelled = signalled.CheckCancelState();
    ClearCancelSignal();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    EXPECT_TRUE(cancelled);
}

// A warehouse with one unused row: a Cancel queued before the tasks stops the run at the first
// poll; the next run ends with OK only.
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
    EXPECT_TRUE(w.imgChecked.at(1)->isVisibleTo(w.Form()));
    EXPECT_TRUE(w.cmdOK->isEnabled());
    EXPECT_FALSE(w.cmdCancel->isEnabled());
    EXPECT_THAT(w_.Column("SELECT code FROM dim_product"), ElementsAre("A"));
    w.Form()->close();  // the title-bar close is OK once the run is done
    EXPECT_EQ(state_.ActiveProgressWindow(), nullptr);
    EXPECT_EQ(mainShown_, 2);
}

}  // namespace
}  // namespace varnel

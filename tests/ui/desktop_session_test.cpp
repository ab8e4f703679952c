// The ends of a window session: the exit status of configuration mode, and a
// Wayland display that is named but does not answer.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include "run/command_line.h"
#include "tests/support/run_doubles.h"
#include "tests/support/scoped_env.h"
#include "tests/support/varnel_process.h"
#include "tests/support/warehouse_builder.h"
#include "tests/ui/support/qt_application.h"
#include "tests/ui/support/scripted_choosers.h"
#include "ui/desktop.h"
#include "ui/display_choice.h"
#include "ui/frm_main.h"

namespace varnel {
namespace {

class ConfigSessionTest : public testing::RunTest {
  protected:
    void SetUp() override {
        testing::EnsureQtApplication();
        RunTest::SetUp();
        std::filesystem::create_directories(dir_.File("logs"));
    }
    void TearDown() override {
        RunTest::TearDown();
        testing::DeleteDeferredWidgets();
    }

    testing::WarehouseBuilder w_;
    testing::ScriptedChoosers choosers_;
};

TEST_F(ConfigSessionTest, ConfigurationModeEndsWithFailureUnlessTheLineWasWritten) {
    const struct {
        const char* Name;
        std::string File;
        bool Save;
        int Status;
    } cases[] = {
        {"saved", dir_.File("nightly.cmd"), true, 0},
        {"cancelled", dir_.File("nightly.cmd"), false, 1},
        {"file cannot be written", dir_.File("missing/nightly.cmd"), true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove(c.File);
        RunSettings saved;
        ResetRunSettings(state_, saved);
        SplitArguments(state_, saved,
                       "-mac sqlite -db " + w_.Path() + " -ntaut -mark -log " + dir_.File("logs") +
                           " -config " + c.File,
                       MaxCommandLineArguments);
        state_.SavedSettings = saved;
        QTimer::singleShot(0, [&] {
            auto* window = dynamic_cast<FrmMain*>(state_.MainWindow);
            ASSERT_NE(window, nullptr);
            (c.Save ? window->cmdProcess : window->cmdClose)->click();
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        watchdog.start(30000);
        EXPECT_EQ(RunWindowSession(state_, choosers_), c.Status);
        EXPECT_EQ(std::filesystem::exists(c.File), c.Status == 0);
    }
}

//! A Unix socket at the path given; it accepts connections while it listens.
class UnixSocket {
  public:
    UnixSocket(const std::string& path, bool listening) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        if (listening) {
            ::listen(fd_, 4);
        } else {
            ::close(fd_);  // what a compositor that ended leaves behind
            fd_ = -1;
        }
    }
    ~UnixSocket() {
        if (fd_ >= 0) ::close(fd_);
    }
    UnixSocket(const UnixSocket&) = delete;
    UnixSocket& operator=(const UnixSocket&) = delete;

  private:
    int fd_ = -1;
};

TEST(WaylandDisplayTest, OnlyASocketThatAcceptsCountsAndNoneEndsTheProcess) {
    const testing::TempDir dir;
    const UnixSocket live(dir.File("wayland-live"), true);
    const UnixSocket dead(dir.File("wayland-dead"), false);
    const struct {
        const char* Name;
        std::string Display, RuntimeDir;
        bool Answers;
    } cases[] = {
        {"a listening socket in the runtime folder", "wayland-live", dir.Path(), true},
        {"a listening socket by its path", dir.File("wayland-live"), "", true},
        {"a socket left behind", "wayland-dead", dir.Path(), false},
        {"no such socket", "wayland-9", dir.Path(), false},
        {"a name without a runtime folder", "wayland-live", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(WaylandAnswers(c.Display, c.RuntimeDir), c.Answers);
    }

    // The program: a Wayland display that does not answer gives the message and
    // status 1, never an abort.
    const testing::ScopedEnv noDisplay("DISPLAY", nullptr);
    const testing::ScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path().c_str());
    for (const std::string& display : {std::string("wayland-dead"), dir.File("wayland-9")}) {
        SCOPED_TRACE(display);
        const testing::ScopedEnv wayland("WAYLAND_DISPLAY", display.c_str());
        const testing::ChildEnd end = testing::RunChild({VARNEL_EXE}, {.Err = dir.File("err")});
        EXPECT_FALSE(end.Signalled);
        EXPECT_EQ(end.ExitCode, 1);
        EXPECT_THAT(testing::ReadFile(dir.File("err")),
                    ::testing::HasSubstr("Varnel: the main window cannot open"));
    }
}

}  // namespace
}  // namespace varnel

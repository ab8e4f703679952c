// The display choice of unattended runs against displays that are missing, closed,
// not X servers at all, and (where Xvfb is installed) a real one.

#include "ui/display_choice.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "tests/support/varnel_process.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

using namespace std::chrono_literals;

//! A TCP port on 127.0.0.1 that accepts connections and never says a word: a
//! port that is open but no X server.
class SilentPort {
  public:
    SilentPort() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // Ports below 6000 cannot be named by a display number.
        for (int port = 6100 + static_cast<int>(::getpid() % 3000); port < 65000; port += 7) {
            address.sin_port = htons(static_cast<std::uint16_t>(port));
            if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                port_ = port;
                break;
            }
        }
        ::listen(fd_, 8);
        thread_ = std::thread([this] {
            while (!stop_) {
                const int client = ::accept(fd_, nullptr, nullptr);
                if (client < 0) return;
                held_ = client;
            }
        });
    }
    ~SilentPort() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
        if (held_ >= 0) ::close(held_);
    }
    std::string Display() const { return "127.0.0.1:" + std::to_string(port_ - 6000); }

  private:
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> held_{-1};
    std::thread thread_;
};

//! A display number with no server behind it on this machine.
std::string UnusedLocalDisplay() {
    for (int number = 4711;; ++number)
        if (!std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number)))
            return ":" + std::to_string(number);
}

TEST(DisplayChoiceTest, DisplaysThatDoNotAnswerGiveOffscreenAndTheConsole) {
    const struct {
        const char* Name;
        std::string Display;
    } cases[] = {
        {"no DISPLAY", ""},
        {"not a display name", "not-a-display"},
        {"no server on the local display", UnusedLocalDisplay()},
        {"a closed port", "127.0.0.1:59"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const DisplayChoice choice = ChooseDisplay(c.Display);
        EXPECT_EQ(choice.Platform, "offscreen");
        EXPECT_TRUE(choice.ConsoleProgress);
    }
}

TEST(DisplayChoiceTest, ServerThatNeverGreetsCountsAsNoDisplayAfterTheTimeOut) {
    const SilentPort silent;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(DisplayAnswers(silent.Display(), 300ms));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

//! An Xvfb server on a free display for the life of the object; Number() is empty
//! when Xvfb is not installed or did not start.
class XvfbServer {
  public:
    XvfbServer() {
        const char* xvfb = "/usr/bin/Xvfb";
        if (!std::filesystem::exists(xvfb)) return;
        int ends[2];
        if (::pipe(ends) != 0) return;
        // Xvfb picks a free display and writes its number to the descriptor given.
        const std::string fd = std::to_string(ends[1]);
        char* argv[] = {const_cast<char*>(xvfb),       const_cast<char*>("-displayfd"),
                        const_cast<char*>(fd.c_str()), const_cast<char*>("-nolisten"),
                        const_cast<char*>("tcp"),      nullptr};
        const bool started = ::posix_spawn(&pid_, xvfb, nullptr, nullptr, argv, environ) == 0;
        ::close(ends[1]);
        char c = 0;
        while (started && ::read(ends[0], &c, 1) == 1 && c != '\n') number_ += c;
        ::close(ends[0]);
    }
    ~XvfbServer() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    std::string Display() const { return number_.empty() ? "" : ":" + number_; }

  private:
    pid_t pid_ = 0;
    std::string number_;
};

TEST(DisplayChoiceTest, RunningXServerGivesXcb) {
    const XvfbServer server;
    if (server.Display().empty()) GTEST_SKIP() << "Xvfb is not installed or did not start";
    const DisplayChoice choice = ChooseDisplay(server.Display());
    EXPECT_EQ(choice.Platform, "xcb");
    EXPECT_FALSE(choice.ConsoleProgress);
}

// The varnel program itself: whatever DISPLAY says, an unattended run goes to its end.
TEST(DisplayChoiceTest, UnattendedRunEndsWhateverTheDisplay) {
    testing::WarehouseBuilder w;
    w.Dimension("dim_product", {"id INTEGER", "code VARCHAR(10)"}, {.PrimaryKey = "id"});
    w.Fact("fact_sales", {"id INTEGER", "product_id INTEGER"}, {.PrimaryKey = "id"});
    w.Relation("dim_product", "id", "fact_sales", "product_id");
    w.Close();
    const testing::TempDir dir;
    const SilentPort silent;
    const XvfbServer server;
    const struct {
        const char* Name;
        std::string Display;
    } cases[] = {
        {"no server on the local display", UnusedLocalDisplay()},
        {"a server that never greets", silent.Display()},
        {"a real X server (when Xvfb runs)", server.Display()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        if (c.Display.empty()) continue;
        const testing::ScopedEnv display("DISPLAY", c.Display.c_str());
        const std::string status = dir.File("status.txt");
        auto args = testing::SqliteRun(VARNEL_EXE, w.Path(), dir.File("logs"));
        args.insert(args.end(), {"-chkmd", "-statusfile", status});
        const testing::ChildEnd end = testing::RunChild(args, {.Err = dir.File("err.txt")});
        EXPECT_FALSE(end.Signalled) << testing::ReadFile(dir.File("err.txt"));
        EXPECT_EQ(end.ExitCode, 0) << testing::ReadFile(dir.File("err.txt"));
        EXPECT_EQ(testing::ReadFile(status), "ok\r\n");
    }
}

}  // namespace
}  // namespace varnel

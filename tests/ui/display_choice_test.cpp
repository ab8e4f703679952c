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

TEST(DisplayChoiceTest, RunningXServerGivesXcb) {
    const char* xvfb = "/usr/bin/Xvfb";
    if (!std::filesystem::exists(xvfb)) GTEST_SKIP() << "Xvfb is not installed";
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    // Xvfb picks a free display and writes its number to the descriptor given.
    const std::string fd = std::to_string(ends[1]);
    char* argv[] = {const_cast<char*>(xvfb),       const_cast<char*>("-displayfd"),
                    const_cast<char*>(fd.c_str()), const_cast<char*>("-nolisten"),
                    const_cast<char*>("tcp"),      nullptr};
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, xvfb, nullptr, nullptr, argv, environ), 0);
    ::close(ends[1]);
    std::string number;
    char c = 0;
    while (::read(ends[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(ends[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    const DisplayChoice choice = ChooseDisplay(":" + number);
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    EXPECT_EQ(choice.Platform, "xcb");
    EXPECT_FALSE(choice.ConsoleProgress);
}

}  // namespace
}  // namespace varnel

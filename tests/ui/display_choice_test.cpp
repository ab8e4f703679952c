#include "ui/display_choice.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "tests/support/varnel_process.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

//! A display on 127.0.0.1 whose port takes connections (the kernel completes them
//! from the backlog) and never says a word: a port that is open but no X server.
class SilentDisplay {
  public:
    SilentDisplay() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        // A port the kernel picks: its ephemeral ports all lie above the displays' 6000.
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), size);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        ::listen(fd_, 8);
    }
    ~SilentDisplay() { ::close(fd_); }
    std::string Name() const { return "127.0.0.1:" + std::to_string(port_ - 6000); }

  private:
    int fd_;
    int port_ = 0;
};

//! A display number with no server behind it on this machine.
std::string UnusedLocalDisplay() {
    for (int number = 4711;; ++number)
        if (!std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number)))
            return ":" + std::to_string(number);
}

// The varnel program itself: whatever DISPLAY says, an unattended run goes to its end.
TEST(DisplayChoiceTest, DisplaysThatDoNotAnswerGiveOffscreenAndTheConsole) {
    testing::WarehouseBuilder w;
    w.Dimension("dim_product", {"id INTEGER", "code VARCHAR(10)"}, {.PrimaryKey = "id"});
    w.Fact("fact_sales", {"id INTEGER", "product_id INTEGER"}, {.PrimaryKey = "id"});
    w.Relation("dim_product", "id", "fact_sales", "product_id");
    w.Close();
    const testing::TempDir dir;
    const SilentDisplay silent;
    for (const std::string& display :
         {std::string(), std::string("not-a-display"), std::string("127.0.0.1:59"),
          UnusedLocalDisplay(), silent.Name()}) {
        SCOPED_TRACE(display);
        EXPECT_TRUE(display == silent.Name() || ChooseDisplay(display).ConsoleProgress);
        const testing::ScopedEnv env("DISPLAY", display.c_str());
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

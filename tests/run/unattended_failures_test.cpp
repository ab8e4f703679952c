// The varnel program on real warehouses where something is wrong: a name in the
// metadata that is no name, a log folder it cannot write, a signal in the middle of
// a long statement. Each run fails with exit status 1 and changes nothing.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "tests/support/temp_dir.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

using ::testing::HasSubstr;
using testing::ReadFile;

// Starts varnel with the arguments, standard error into the file. With a user id the
// child runs as that user (a root test cannot meet a folder it may not write).
pid_t Spawn(const std::vector<std::string>& args, const std::string& errFile, uid_t user = 0) {
    const pid_t child = fork();
    if (child == 0) {
        if (user != 0 && (setgid(user) != 0 || setuid(user) != 0)) _exit(126);
        std::freopen(errFile.c_str(), "w", stderr);
        std::vector<char*> argv{const_cast<char*>(VARNEL_EXE)};
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(VARNEL_EXE, argv.data());
        _exit(127);
    }
    return child;
}

int Varnel(const std::vector<std::string>& args, const std::string& errFile, uid_t user = 0) {
    int status = 0;
    waitpid(Spawn(args, errFile, user), &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string OnlyLog(const std::string& folder) {
    std::vector<std::filesystem::path> logs;
    if (std::filesystem::is_directory(folder))
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            logs.push_back(entry.path());
    return logs.size() == 1 ? ReadFile(logs[0].string())
                            : "<" + std::to_string(logs.size()) + " logs>";
}

class UnattendedFailureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("VARNEL_HISTORY", (w_.Folder() + "/history.db").c_str(), 1);
        w_.Dimension("d_store", {"store_id INTEGER", "name VARCHAR(20)"},
                     {.PrimaryKey = "store_id"});
        w_.Fact("f_sales", {"id INTEGER", "store_id INTEGER"}, {.PrimaryKey = "id"});
        w_.Relation("d_store", "store_id", "f_sales", "store_id");
        w_.Rows("d_store", {"store_id", "name", "is_deletable"},
                {{1, "north", 1}, {2, "south", 0}});
        w_.Rows("f_sales", {"id", "store_id"}, {{1, 2}});
    }
    void TearDown() override { unsetenv("VARNEL_HISTORY"); }

    std::vector<std::string> Run(const std::string& task) const {
        return {"-mac", "sqlite", "-db",         w_.Path(), "-ntaut",
                "-log", Logs(),   "-statusfile", Status(),  task};
    }
    std::string Logs() const { return w_.Folder() + "/logs"; }
    std::string Status() const { return w_.Folder() + "/status.txt"; }
    std::string Err() const { return w_.Folder() + "/stderr.txt"; }
    testing::Texts Stores() { return w_.Lines("SELECT * FROM d_store ORDER BY store_id"); }

    testing::WarehouseBuilder w_;
};

// The name would overwrite every store's name if it reached an UPDATE; each task
// refuses it before it sends a statement.
TEST_F(UnattendedFailureTest, ANameThatIsNoNameStopsEveryTaskBeforeItsStatements) {
    w_.Exec(
        "UPDATE dwm_tables SET table_name = 'd_store SET name = ''x'' --'"
        " WHERE table_name = 'd_store'");
    const testing::Texts before = Stores();
    w_.Close();
    const std::string fault =
        "The value 'd_store SET name = 'x' --' in column table_name of dwm_tables is not a "
        "valid name.\r\n";
    for (const auto& [task, line] : std::vector<std::pair<std::string, std::string>>{
             {"-chkmd", "Error occured while checking metadata\r\n"},
             {"-mark", "Error occured in task:\tDetect and mark.\r\nProgram terminated.\r\n"},
             {"-grep", "Error occured in task:\tGenerate reports.\r\nProgram terminated.\r\n"},
             {"-del", "Error occured in task:\tDelete records.\r\nProgram terminated.\r\n"}}) {
        std::filesystem::remove_all(Logs());
        EXPECT_EQ(Varnel(Run(task), Err()), 1) << task;
        EXPECT_EQ(ReadFile(Status()), "failure\r\n") << task;
        EXPECT_THAT(OnlyLog(Logs()), ::testing::StartsWith(fault + line)) << task;
        EXPECT_EQ(Stores(), before) << task;
    }
}

TEST_F(UnattendedFailureTest, ALogFolderThatCannotBeWrittenStopsTheRunFirst) {
    const testing::Texts before = Stores();
    w_.Close();
    std::filesystem::create_directories(Logs());
    chmod(Logs().c_str(), 0555);
    // As root the folder's mode binds nobody: the run goes as an ordinary user.
    const uid_t user = geteuid() == 0 ? 65534 : 0;
    if (user != 0) {
        // The ordinary user must reach the program through every folder above it.
        for (auto folder = std::filesystem::path(VARNEL_EXE).parent_path();
             folder != folder.root_path(); folder = folder.parent_path())
            if ((std::filesystem::status(folder).permissions() &
                 std::filesystem::perms::others_exec) == std::filesystem::perms::none)
                GTEST_SKIP() << folder << " cannot be entered by an ordinary user";
        for (const auto& path : {w_.Folder(), w_.Path()}) chmod(path.c_str(), 0777);
        for (const auto& entry : std::filesystem::directory_iterator(w_.Folder()))
            chmod(entry.path().c_str(), 0777);
        chmod(Logs().c_str(), 0555);
    }
    EXPECT_EQ(Varnel(Run("-mark"), Err(), user), 1);
    EXPECT_THAT(ReadFile(Err()), HasSubstr("Permission denied"));
    EXPECT_EQ(ReadFile(Status()), "failure\r\n");
    EXPECT_TRUE(std::filesystem::is_empty(Logs()));
    EXPECT_EQ(Stores(), before);
    EXPECT_EQ(w_.Value("SELECT count(*) FROM sqlite_master WHERE name = 'dwm_multiuse'"), "0");
}

// One dimension table whose single statement takes far longer than a scheduler waits
// (a trigger does heavy work per row): SIGTERM cancels the statement itself, its
// transaction rolls back and the run ends at once, with the lock released.
TEST_F(UnattendedFailureTest, SigtermCancelsALongStatementAndLeavesTheTableAsItWas) {
    w_.Dimension("d_slow", {"id INTEGER"}, {.PrimaryKey = "id"});
    w_.Exec("ALTER TABLE f_sales ADD COLUMN slow_id INTEGER");
    w_.Relation("d_slow", "id", "f_sales", "slow_id");
    w_.Exec("CREATE TABLE pad (p INTEGER)");
    w_.Exec(
        "INSERT INTO pad (p) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
        "WHERE i < 1000) SELECT i FROM n");
    w_.Exec(
        "INSERT INTO d_slow (id, is_deletable, is_sustainable) WITH RECURSIVE n(i) AS "
        "(SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) SELECT i, 1, 0 FROM n");

    struct LongTask {
        std::string Option, Event, CancelLine;
    };
    for (const LongTask& task :
         {LongTask{"-del", "DELETE", "Deletion process cancelled by user."},
          LongTask{"-mark", "UPDATE", "Marking process cancelled by user."}}) {
        std::filesystem::remove_all(Logs());
        // A cancelled run leaves the table as it was: the next task starts from it.
        w_.Exec("DROP TRIGGER IF EXISTS d_slow_slow");
        w_.Exec("CREATE TRIGGER d_slow_slow BEFORE " + task.Event +
                " ON d_slow BEGIN SELECT count(*) FROM pad a, pad b; END");
        w_.Close();

        const pid_t child = Spawn(Run(task.Option), Err());
        // Long enough to reach the slow table, whose statement alone takes tens of seconds.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, WNOHANG), 0) << task.Option << " ended before the signal";
        const auto signalled = std::chrono::steady_clock::now();
        kill(child, SIGTERM);
        waitpid(child, &status, 0);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
        EXPECT_LT(seconds, 5.0) << task.Option;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << task.Option;
        EXPECT_EQ(ReadFile(Status()), "failure\r\n") << task.Option;
        EXPECT_THAT(OnlyLog(Logs()), HasSubstr(task.CancelLine + "\r\n")) << task.Option;
        EXPECT_EQ(w_.Value("SELECT count(*) FROM d_slow WHERE is_deletable = 1"), "2000")
            << task.Option;
        EXPECT_EQ(w_.Value("SELECT lock FROM dwm_multiuse"), "0") << task.Option;
    }
}

}  // namespace
}  // namespace varnel

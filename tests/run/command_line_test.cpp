#include "run/command_line.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "run/config_file.h"
#include "tests/support/state_test.h"
#include "tests/support/temp_dir.h"

namespace varnel {
namespace {

using Args = std::vector<std::string>;

std::string Numbered(int to) {
    std::string words;
    for (int i = 1; i <= to; ++i) words += " a" + std::to_string(i);
    return words;
}

//! a1 to a24, then the word.
Args Last(const std::string& word) {
    Args args = SplitArguments(Numbered(24), 25);
    args.push_back(word);
    return args;
}

TEST(SplitArgumentsTest, QuotesBlanksTabsAndTheMaximum) {
    const struct {
        std::string line;
        Args expected;
    } cases[] = {
        {" \t ", {}},
        {"-mac  srv\t-password \"\" -db x ", {"-mac", "srv", "-password", "", "-db", "x"}},
        {"-log \"x y", {"-log", "x y"}},
        {Numbered(30), Last("a25")},
        // A quote that would open the 26th argument ends the scan.
        {Numbered(25) + " \"x y\"", Last("a25")},
        // Text after a closing quote is no new argument, so the 25th may still grow.
        {Numbered(24) + " \"a25\"tail a26", Last("a25tail")},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitArguments(c.line, 25), c.expected) << c.line;
}

class CommandLineTest : public testing::StateTest {
  protected:
    RunSettings Apply(const std::string& line) {
        RunSettings settings;
        SplitArguments(state_, settings, line, MaxCommandLineArguments);
        return settings;
    }
    bool Validate(const std::string& line) {
        state_.Reset();
        return ValidateRunSettings(state_, Apply(line));
    }

    testing::TempDir dir_;
};

TEST_F(CommandLineTest, OptionsValuesAndStartModes) {
    // The argument after an option that takes a value is its value and no option, whether
    // it starts with a slash or with a dash that names no option; options ignore case; the
    // last wins.
    RunSettings s = Apply(
        "-log /del -usr -Xy9! -password /grep /statusfile /chkmd -NTAUT /datom "
        "-db /clsf -MaC Srv -Job_ID J1 -PASSWORD_BK Pw /Db d");
    EXPECT_EQ(s.LogDirectory + s.UserName + s.Password + s.StatusFile + s.Server + s.JobId +
                  s.ArchivePassword + s.Database,
              "/del-Xy9!/grep/chkmdSrvJ1Pwd");
    EXPECT_FALSE(s.DeleteMarked || s.GenerateReports || s.CheckMetadata || s.ArchiveFacts);
    EXPECT_TRUE(s.AtomicDelete && s.WindowsAuth && state_.CommandLineFaults.empty());

    const std::pair<std::string, StartMode> modes[] = {
        {" \t ", StartMode::Interactive},
        {"/var/log / /opt", StartMode::Interactive},
        {"-mac m", StartMode::Unattended},
        {"-config /tmp/saved.txt", StartMode::Configuration},
    };
    for (const auto& [line, mode] : modes) {
        state_.Reset();
        const RunSettings settings = Apply(line);
        EXPECT_EQ(DecideStartMode(state_), mode) << line;
        EXPECT_EQ(line.find('-') == std::string::npos, settings == RunSettings{}) << line;
    }
    EXPECT_EQ(state_.ConfigFileName, "/tmp/saved.txt");
}

TEST_F(CommandLineTest, FaultsGiveTheirMessagesThenTheUsage) {
    const std::string full =  // 25 arguments
        "-mac m -db d -usr u -password p -log l -job_id j -bkmac bm -bkdb bd -bkusr bu "
        "-password_bk bp -statusfile s -grep -chkmd -mark ";
    const struct {
        std::string line;
        std::vector<std::string> messages;
    } cases[] = {
        {"-xyz -mac m --help", {"Unknown option \"-xyz\"", "Unknown option \"--help\""}},
        {full + "-del",
         {"Too many arguments: at most 25 are allowed and the command line has 26; nothing was "
          "done."}},
        {"-mac m -db d -log /l", {"User name must be specified for connecting to the database"}},
        // An option name where a value belongs is neither the value nor the option.
        {"-mac m -db d -ntaut -log -del",
         {"The option -log needs a value; -del is an option.",
          "Log Directory name must be specified"}},
        {"-mac m -db d -ntaut -log l -job_id -DEL",
         {"The option -job_id needs a value; -DEL is an option."}},
        {"-mac sqlite -db d -log l -statusfile -mark",
         {"The option -statusfile needs a value; -mark is an option.",
          "When in Status Mode Please specify the Status File Name"}},
        // A SQLite file needs no login, but a SQL Server beside it still does.
        {"-mac SQLite -db d -log l -bkmac m -bkdb a -clsf",
         {"User name must be specified for connecting to the Archive database"}},
        {"-ntaut -clsf -bkntaut",
         {"Machine must be specified", "Database must be specified",
          "It is not possible to use Windows NT Authentication for both the Data Warehouse "
          "database and the archive database.",
          "Archive machine must be specified", "Archive database must be specified",
          "Log Directory name must be specified"}},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(Validate(c.line)) << c.line;
        std::string text;
        for (const auto& line : c.messages) text += "\r\n" + line;
        EXPECT_EQ(state_.MessageText, text + "\r\n" + UsageText()) << c.line;
    }
    EXPECT_TRUE(Validate(full));
    for (const std::string sqlite :
         {"-mac sqlite -db w.db -log l -mark",
          "-mac m -db d -usr u -log l -bkmac sqlite -bkdb a -clsf",
          "-mac sqlite -db w.db -ntaut -bkmac sqlite -bkdb a -bkntaut -clsf -log l"})
        EXPECT_TRUE(Validate(sqlite)) << sqlite << state_.MessageText;
    EXPECT_EQ(state_.MessageText, "");
    // The main window shows its own fields, not the command line's faults.
    EXPECT_TRUE(Validate(full + "-config c"));
    EXPECT_FALSE(state_.CommandLineFaults.empty());
    EXPECT_EQ(
        UsageText(),
        "Usage: Varnel -mac <machine> {-usr <user name> -password <password> | -ntaut} -db "
        "<database> -bkmac <machine> {-bkusr <user name> -password_bk <password> | -bkntaut} "
        "-bkdb <database> -log <logDirectory> -logfile <logfile> [-config <configfile>] "
        "[-statusfile <statusfile>] [-chkmd] [-clsf] [-mark] [-del] [-datom] [-grep] [-help]");
}

TEST_F(CommandLineTest, ACommandFileGivesItsFirstLineOnlyFromARegularFileOfUpTo64KiB) {
    std::string full = "\xEF\xBB\xBF-mac m -log \"/a b\"\r\n-db no\r\n";
    full.resize(static_cast<std::size_t>(MaxCommandFileBytes), ' ');  // just fits
    testing::WriteFile(dir_.File("run.cmd"), full);
    testing::WriteFile(dir_.File("large.cmd"), full + " ");
    ASSERT_EQ(mkfifo(dir_.File("fifo").c_str(), 0600), 0);
    const std::pair<std::string, std::string> cases[] = {
        {"run.cmd", "-mac m -log \"/a b\""}, {"large.cmd", "is larger than 64 KiB."},
        {"missing.cfg", "does not exist."},  {"", "is a directory."},
        {"fifo", "is not a regular file."},
    };
    for (const auto& [name, expected] : cases) {
        const std::string path = name.empty() ? dir_.Path().string() : dir_.File(name);
        std::string line = "unchanged", error;
        const bool read = ReadCommandFile(path, line, error);
        EXPECT_EQ(read ? line : error,
                  read ? expected : "The command file \"" + path + "\" " + expected);
        EXPECT_TRUE(read || line == "unchanged");
    }
}

// The saved line is one option per setting, blank or unused values left out, and reads
// back as the settings it was built from.
TEST_F(CommandLineTest, TheSavedConfigurationReadsBackAndOnlyItsOwnerReadsIt) {
    const std::string lines[] = {
        "-mac dwhost -db sales_dw -usr etl -password s3cret -chkmd -bkmac archost -bkdb "
        "sales_arch -bkusr arch -password_bk pw2 -clsf -mark -grep -del -datom -log "
        "\"/data/my logs\"",
        "-mac dwhost -db sales_dw -ntaut -bkmac archost -bkdb sales_arch -bkntaut -clsf -log "
        "\"/data/my logs\"",
        // A SQLite file is written without a login; a dash that names no option is a value.
        "-mac sqlite -db /data/w.db -bkmac archost -bkdb sales_arch -bkusr arch -password_bk "
        "-Xy9! -clsf -mark -log \"/data/my logs\"",
        "-mac sqlite -db -w.db -chkmd -bkmac sqlite -bkdb /data/a.db -clsf -log \"/logs\""};
    for (const auto& line : lines) {
        RunSettings settings = Apply("-usr u -password p -bkusr b " + line);
        settings.LogDirectory = "  " + settings.LogDirectory + " ";
        EXPECT_EQ(BuildConfigurationLine(settings, settings), line);
        EXPECT_EQ(ConfigurationLineProblem(settings, settings), "");
    }
    // A value is refused only when it would read back as an option.
    RunSettings settings = Apply(lines[0]);
    for (const auto& [password, problem] :
         {std::pair<std::string, std::string>{"-etl", ""},
          {"-Del", "The password cannot be saved: \"-Del\" would be read back as the option -Del."},
          {"a\"b",
           "The password cannot be saved: it holds a quotation mark (\"), which a command "
           "line cannot carry."}}) {
        settings.Password = password;
        EXPECT_EQ(ConfigurationLineProblem(settings, settings), problem);
    }
    // An old file readable by everyone is narrowed to its owner and its longer content replaced.
    namespace fs = std::filesystem;
    const std::string path = dir_.File("nightly.cmd");
    testing::WriteFile(path, std::string(5000, '#'));
    fs::permissions(path, fs::perms::all);
    std::string error;
    ASSERT_TRUE(WriteConfigurationFile(path, lines[0], error)) << error;
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(testing::ReadFile(path), lines[0] + "\r\n");
}

}  // namespace
}  // namespace varnel

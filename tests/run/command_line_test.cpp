#include "run/command_line.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "driver/start_up.h"
#include "tests/run/run_state_fixture.h"
#include "tests/support/scoped_env.h"

namespace varnel {
namespace {

using Args = std::vector<std::string>;
using varnel::testing::RunStateTest;

//! The MessageText that validation builds from these lines.
std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += "\r\n" + line;
    return text;
}

//! A full line of 25 arguments, then the ones given.
std::string TwentyFivePlus(const std::string& more) {
    return "-mac m -db d -usr u -password p -log l -job_id j -bkmac bm -bkdb bd -bkusr bu "
           "-password_bk bp -statusfile s -grep -chkmd -mark " +
           more;
}

TEST(SplitArgumentsTest, QuotesBlanksAndTabs) {
    const struct {
        std::string line;
        Args expected;
    } cases[] = {
        {"", {}},
        {" \t ", {}},
        {"-mac  srv\t-db x ", {"-mac", "srv", "-db", "x"}},
        {"-log \"/data/my logs\"", {"-log", "/data/my logs"}},
        {"-password \"\" -db x", {"-password", "", "-db", "x"}},
        {"a\"b c\"", {"a", "b c"}},
        {"\"ab\"cd ef", {"abcd", "ef"}},
        {"-log \"x y", {"-log", "x y"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(SplitArguments(c.line, MaxCommandLineArguments), c.expected);
    }
}

TEST(SplitArgumentsTest, StopsAtTheMaximum) {
    std::string words;
    for (int i = 1; i <= 30; ++i) words += " a" + std::to_string(i);
    const Args thirty = SplitArguments(words, 25);
    ASSERT_EQ(thirty.size(), 25u);
    EXPECT_EQ(thirty.back(), "a25");

    std::string twentyFour;
    for (int i = 1; i <= 24; ++i) twentyFour += "a" + std::to_string(i) + " ";

    // A quote that would open the 26th argument ends the scan as well, in or after a word.
    EXPECT_EQ(SplitArguments(twentyFour + "a25 \"x y\"", 25).back(), "a25");
    EXPECT_EQ(SplitArguments(twentyFour + "a25\"x\"", 25).back(), "a25");
    // Text after a closing quote is no new argument, so the 25th may still grow.
    EXPECT_EQ(SplitArguments(twentyFour + "\"a25\"tail a26", 25).back(), "a25tail");
}

class CommandLineTest : public RunStateTest {
  protected:
    RunSettings Apply(const std::string& line) {
        RunSettings settings;
        SplitArguments(state_, settings, line, MaxCommandLineArguments);
        return settings;
    }

    //! Applies the line and validates it; the result and MessageText are left to check.
    bool Validate(const std::string& line) { return ValidateRunSettings(state_, Apply(line)); }
};

TEST_F(CommandLineTest, MoreThan25ArgumentsAreRefusedNotDropped) {
    const auto fromProcess = [this](const std::string& line) {
        std::vector<std::string> words = SplitArguments(line, 100);
        words.insert(words.begin(), "varnel");
        std::vector<char*> argv;
        for (auto& word : words) argv.push_back(word.data());
        RunSettings settings;
        ApplyProcessArguments(state_, settings, static_cast<int>(argv.size()), argv.data(),
                              MaxCommandLineArguments);
        return settings;
    };
    const std::string tooMany =
        "Too many arguments: at most 25 are allowed and the command line has 26; nothing was "
        "done.";

    for (const bool process : {false, true}) {
        SCOPED_TRACE(process ? "process arguments" : "command file line");
        for (const std::string last : {"-del", "\"-del\""}) {
            state_.CommandLineMode = false;
            state_.MessageText.clear();
            const RunSettings settings =
                process ? fromProcess(TwentyFivePlus(last)) : Apply(TwentyFivePlus(last));
            // Applied whole, so that the run's log and status file hear of the refusal.
            EXPECT_TRUE(settings.DeleteMarked);
            EXPECT_EQ(settings.StatusFile, "s");
            EXPECT_FALSE(ValidateRunSettings(state_, settings));
            EXPECT_EQ(state_.MessageText, Lines({tooMany, UsageText()}));
        }
        state_.MessageText.clear();
        const RunSettings exact =
            process ? fromProcess(TwentyFivePlus("")) : Apply(TwentyFivePlus(""));
        EXPECT_TRUE(ValidateRunSettings(state_, exact));
        EXPECT_EQ(state_.MessageText, "");
    }

    // The main window shows its own fields, not the command line's faults.
    state_.MessageText.clear();
    const RunSettings config = Apply(TwentyFivePlus("-config c"));
    ASSERT_TRUE(state_.ConfigMode);
    EXPECT_FALSE(state_.CommandLineFaults.empty());
    EXPECT_TRUE(ValidateRunSettings(state_, config));
}

TEST_F(CommandLineTest, OptionsAndValues) {
    // A value starting with a slash is never an option.
    RunSettings settings =
        Apply("-log /del -usr /mark -password /grep /statusfile /chkmd -ntaut /datom -db /clsf");
    EXPECT_EQ(settings.LogDirectory, "/del");
    EXPECT_EQ(settings.UserName, "/mark");
    EXPECT_EQ(settings.Password, "/grep");
    EXPECT_EQ(settings.StatusFile, "/chkmd");
    EXPECT_EQ(settings.Database, "/clsf");
    EXPECT_FALSE(settings.DeleteMarked || settings.MarkUnused || settings.GenerateReports ||
                 settings.CheckMetadata || settings.ArchiveFacts);
    EXPECT_TRUE(settings.AtomicDelete);
    EXPECT_TRUE(state_.CommandLineFaults.empty());

    settings = Apply("-usr -db x -ntaut -mac m -db a -db b");
    EXPECT_EQ(settings.UserName, "-db");
    EXPECT_TRUE(settings.WindowsAuth);
    EXPECT_EQ(settings.Database, "b");

    settings = Apply("-MaC Srv -NTAUT -Job_ID J1 -PASSWORD_BK Pw /Db d -log /var/log/varnel");
    EXPECT_EQ(settings.Server, "Srv");
    EXPECT_TRUE(settings.WindowsAuth);
    EXPECT_EQ(settings.JobId, "J1");
    EXPECT_EQ(settings.ArchivePassword, "Pw");
    EXPECT_EQ(settings.Database, "d");
    EXPECT_EQ(settings.LogDirectory, "/var/log/varnel");
    EXPECT_FALSE(settings.HelpRequested);

    state_.CommandLineMode = false;
    EXPECT_EQ(Apply("/var/log / /opt"), RunSettings{});
    EXPECT_FALSE(state_.CommandLineMode);
}

TEST_F(CommandLineTest, StartModes) {
    EXPECT_EQ(Apply("  \t "), RunSettings{});
    EXPECT_EQ(DecideStartMode(state_), StartMode::Interactive);

    Apply("-logfile /tmp/copy.txt");
    EXPECT_EQ(DecideStartMode(state_), StartMode::Interactive);

    Apply("-mac m");
    EXPECT_EQ(DecideStartMode(state_), StartMode::Unattended);

    Apply("-config /tmp/saved.txt");
    EXPECT_EQ(state_.ConfigFileName, "/tmp/saved.txt");
    EXPECT_EQ(DecideStartMode(state_), StartMode::Configuration);
}

TEST_F(CommandLineTest, HelpGivesTheUsageTextAndNamesUnknownOptions) {
    EXPECT_FALSE(Validate("-xyz -mac m --help"));
    EXPECT_TRUE(state_.CommandLineMode);
    EXPECT_EQ(state_.MessageText,
              Lines({"Unknown option \"-xyz\"", "Unknown option \"--help\"", UsageText()}));

    state_.MessageText.clear();
    EXPECT_FALSE(Validate("-mac m -db d -usr u -log /l -help"));
    EXPECT_EQ(state_.MessageText, Lines({UsageText()}));

    EXPECT_EQ(
        UsageText(),
        "Usage: Varnel -mac <machine> {-usr <user name> -password <password> | -ntaut} -db "
        "<database> -bkmac <machine> {-bkusr <user name> -password_bk <password> | -bkntaut} "
        "-bkdb <database> -log <logDirectory> -logfile <logfile> [-config <configfile>] "
        "[-statusfile <statusfile>] [-chkmd] [-clsf] [-mark] [-del] [-datom] [-grep] [-help]");
}

TEST_F(CommandLineTest, SingleFaultGivesOneMessageThenTheUsage) {
    const struct {
        std::string line;
        std::string message;
    } cases[] = {
        {"-mac m -db d -log /l", "User name must be specified for connecting to the database"},
        {"-mac m -db d -ntaut -clsf -bkmac bm -bkdb bd -bkntaut -log /l",
         "It is not possible to use Windows NT Authentication for both the Data Warehouse "
         "database and the archive database."},
        {"-mac m -db d -usr u -log /l -config",
         "When in Config Mode Please specify the Config File Name"},
        {"-mac m -db d -usr u -log /l -statusfile",
         "When in Status Mode Please specify the Status File Name"},
        {"-mac m -db d -usr u -log \"  \"", "Log Directory name must be specified"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        state_.CommandLineMode = false;
        state_.ConfigMode = false;
        state_.ConfigFileName.clear();
        state_.MessageText.clear();
        EXPECT_FALSE(Validate(c.line));
        EXPECT_EQ(state_.MessageText, Lines({c.message, UsageText()}));
    }
}

TEST_F(CommandLineTest, AllChecksRunInOrder) {
    RunSettings settings;
    settings.Server = "   ";
    settings.ArchiveFacts = true;
    settings.StatusFileRequested = true;
    settings.LogDirectory = "/l";  // without LogRequested it does not count
    state_.ConfigMode = true;

    // The main window's path: messages only, no usage text.
    EXPECT_FALSE(ValidateRunSettings(state_, settings));
    EXPECT_EQ(state_.MessageText,
              Lines({"Machine must be specified", "Database must be specified",
                     "User name must be specified for connecting to the database",
                     "Archive machine must be specified", "Archive database must be specified",
                     "User name must be specified for connecting to the Archive database",
                     "When in Config Mode Please specify the Config File Name",
                     "When in Status Mode Please specify the Status File Name",
                     "Log Directory name must be specified"}));

    state_.MessageText.clear();
    state_.ConfigMode = false;
    state_.CommandLineMode = true;
    settings = RunSettings{};
    settings.WindowsAuth = true;
    settings.ArchiveWindowsAuth = true;
    settings.ArchiveFacts = true;
    EXPECT_FALSE(ValidateRunSettings(state_, settings));
    EXPECT_EQ(state_.MessageText,
              Lines({"Machine must be specified", "Database must be specified",
                     "It is not possible to use Windows NT Authentication for both the Data "
                     "Warehouse database and the archive database.",
                     "Archive machine must be specified", "Archive database must be specified",
                     "Log Directory name must be specified", UsageText()}));
}

TEST_F(CommandLineTest, ReadCommandFileTakesTheFirstLineOfUpTo64KiB) {
    const auto first = Dir() / "run.cmd";
    const auto fits = Dir() / "fits.cmd";
    const auto large = Dir() / "large.cmd";
    const std::string padding(static_cast<std::size_t>(MaxCommandFileBytes) - 8, ' ');
    std::ofstream(first, std::ios::binary) << "\xEF\xBB\xBF-mac m -log \"/a b\"\r\n-db ignored\r\n";
    std::ofstream(fits, std::ios::binary) << "-mac m\r\n" << padding;
    std::ofstream(large, std::ios::binary) << "-mac m\r\n" << padding << 'x';
    std::string line;
    std::string error;
    ASSERT_TRUE(ReadCommandFile(first.string(), line, error)) << error;
    EXPECT_EQ(line, "-mac m -log \"/a b\"");
    ASSERT_TRUE(ReadCommandFile(fits.string(), line, error)) << error;
    EXPECT_EQ(line, "-mac m");
    line = "unchanged";
    EXPECT_FALSE(ReadCommandFile(large.string(), line, error));
    EXPECT_EQ(error, "The command file \"" + large.string() + "\" is larger than 64 KiB.");
    EXPECT_EQ(line, "unchanged");
}

// The window itself is a stand-in: what is checked is whether start-up dares to open it.
TEST_F(CommandLineTest, MainWindowOpensOnlyWhereADisplayIs) {
    std::vector<StartMode> sessions;
    const WindowSession session = [&sessions](ProcessState&, StartMode mode) {
        sessions.push_back(mode);
        return 0;
    };
    std::string program = "varnel";
    std::string copyOption = "-logfile";
    std::string copyPath = (Dir() / "copy.txt").string();
    std::vector<char*> argv = {program.data(), copyOption.data(), copyPath.data()};

    const struct {
        const char* display;
        const char* wayland;
        int exit;
    } cases[] = {{nullptr, nullptr, 1}, {"", nullptr, 1}, {":0", nullptr, 0}, {nullptr, "w-0", 0}};
    for (const auto& c : cases) {
        testing::ScopedEnv display("DISPLAY", c.display);
        testing::ScopedEnv wayland("WAYLAND_DISPLAY", c.wayland);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Main(state_, static_cast<int>(argv.size()), argv.data(), session), c.exit);
        const std::string err = ::testing::internal::GetCapturedStderr();
        if (c.exit == 1) {
            EXPECT_EQ(err,
                      "Varnel: the main window cannot open: there is no display (neither DISPLAY "
                      "nor WAYLAND_DISPLAY is set). Give the run options on the command line "
                      "(varnel --help).\n");
        }
    }
    EXPECT_EQ(sessions, (std::vector<StartMode>{StartMode::Interactive, StartMode::Interactive}));
}

}  // namespace
}  // namespace varnel

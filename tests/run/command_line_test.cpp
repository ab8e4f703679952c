#include "run/command_line.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/run/run_state_fixture.h"

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

//! Thirty arguments whose last five flags lie past the 25-argument limit.
std::string ThirtyArguments(const std::string& twentySixth) {
    return "-mac m -db d -usr u -password p -log l -job_id j -bkmac bm -bkdb bd -bkusr bu "
           "-password_bk bp -statusfile s -config c -grep " +
           twentySixth + " -mark -del -datom -ntaut";
}

TEST(SplitArgumentsTest, QuotesBlanksAndTabs) {
    const struct {
        std::string line;
        Args expected;
    } cases[] = {
        {"", {}},
        {"   ", {}},
        {" \t ", {}},
        {"-mac  srv\t-db x ", {"-mac", "srv", "-db", "x"}},
        {"-log \"/data/my logs\"", {"-log", "/data/my logs"}},
        {"\"a\tb\"", {"a\tb"}},
        {"-password \"\" -db x", {"-password", "", "-db", "x"}},
        {"a\"b c\"", {"a", "b c"}},
        {"\"ab\"cd ef", {"abcd", "ef"}},
        {"\"a\"\"b\"", {"a", "b"}},
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

    EXPECT_TRUE(SplitArguments("-mac m", 0).empty());
}

class CommandLineTest : public RunStateTest {
  protected:
    RunSettings Apply(const std::string& line) {
        RunSettings settings;
        SplitArguments(settings, line, MaxCommandLineArguments);
        return settings;
    }

    //! Applies the line and validates it; the result and MessageText are left to check.
    bool Validate(const std::string& line) { return ValidateRunSettings(Apply(line)); }
};

TEST_F(CommandLineTest, OnlyTheFirst25ArgumentsAreApplied) {
    RunSettings fromProcess;
    std::vector<std::string> words = SplitArguments(ThirtyArguments("-chkmd"), 30);
    ASSERT_EQ(words.size(), 30u);
    words.insert(words.begin(), "varnel");
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    ApplyProcessArguments(fromProcess, static_cast<int>(argv.size()), argv.data(),
                          MaxCommandLineArguments);

    for (const RunSettings& settings :
         {Apply(ThirtyArguments("-chkmd")), Apply(ThirtyArguments("\"-chkmd\"")), fromProcess}) {
        EXPECT_EQ(settings.ConfigFile, "c");
        EXPECT_TRUE(settings.GenerateReports);
        EXPECT_FALSE(settings.CheckMetadata);
        EXPECT_FALSE(settings.MarkUnused);
        EXPECT_FALSE(settings.DeleteMarked);
        EXPECT_FALSE(settings.AtomicDelete);
        EXPECT_FALSE(settings.WindowsAuth);
    }
}

TEST_F(CommandLineTest, EveryArgumentIsExaminedOnItsOwnTurn) {
    const RunSettings settings = Apply("-usr -db x -ntaut -mac m -db a -db b");
    EXPECT_EQ(settings.UserName, "-db");
    EXPECT_TRUE(settings.WindowsAuth);
    EXPECT_EQ(settings.Server, "m");
    EXPECT_EQ(settings.Database, "b");  // the last of three
    EXPECT_FALSE(settings.HelpRequested);
}

TEST_F(CommandLineTest, NamesIgnoreCaseAndValuesKeepIt) {
    const RunSettings settings = Apply("-MaC Srv -NTAUT -Log X -Job_ID J1 -PASSWORD_BK Pw");
    EXPECT_EQ(settings.Server, "Srv");
    EXPECT_TRUE(settings.WindowsAuth);
    EXPECT_TRUE(settings.LogRequested);
    EXPECT_EQ(settings.LogDirectory, "X");
    EXPECT_EQ(settings.JobId, "J1");
    EXPECT_EQ(settings.ArchivePassword, "Pw");
    EXPECT_FALSE(settings.HelpRequested);
}

TEST_F(CommandLineTest, SlashIntroducesOnlyKnownOptions) {
    const RunSettings settings = Apply("/MAC srv /Db d /ntaut -log /var/log/varnel");
    EXPECT_EQ(settings.Server, "srv");
    EXPECT_EQ(settings.Database, "d");
    EXPECT_TRUE(settings.WindowsAuth);
    EXPECT_EQ(settings.LogDirectory, "/var/log/varnel");
    EXPECT_FALSE(settings.HelpRequested);

    CommandLineMode = false;
    EXPECT_EQ(Apply("/var/log / /opt"), RunSettings{});
    EXPECT_FALSE(CommandLineMode);
}

TEST_F(CommandLineTest, StartModes) {
    EXPECT_EQ(Apply(""), RunSettings{});
    EXPECT_EQ(Apply("  \t "), RunSettings{});
    EXPECT_EQ(DecideStartMode(), StartMode::Interactive);

    const RunSettings copyOnly = Apply("-logfile /tmp/copy.txt");
    EXPECT_TRUE(copyOnly.LogCopyRequested);
    EXPECT_EQ(copyOnly.LogCopyFile, "/tmp/copy.txt");
    EXPECT_EQ(DecideStartMode(), StartMode::Interactive);

    Apply("-mac m");
    EXPECT_EQ(DecideStartMode(), StartMode::Unattended);

    const RunSettings config = Apply("-config /tmp/saved.txt");
    EXPECT_TRUE(config.ConfigRequested);
    EXPECT_EQ(config.ConfigFile, "/tmp/saved.txt");
    EXPECT_EQ(ConfigFileName, "/tmp/saved.txt");
    EXPECT_EQ(DecideStartMode(), StartMode::Configuration);
}

TEST_F(CommandLineTest, CompleteCommandLineIsValid) {
    EXPECT_TRUE(Validate("-mac m -db d -usr u -log /l"));
    EXPECT_TRUE(
        Validate("-mac m -db d -ntaut -clsf -bkmac bm -bkdb bd -bkusr bu -log /l "
                 "-statusfile /s -config /c"));
    EXPECT_EQ(MessageText, "");
}

TEST_F(CommandLineTest, HelpGivesTheUsageTextOnly) {
    EXPECT_FALSE(Validate("-xyz"));
    EXPECT_TRUE(CommandLineMode);
    EXPECT_EQ(MessageText, Lines({UsageText()}));

    MessageText.clear();
    EXPECT_FALSE(Validate("-mac m -db d -usr u -log /l -help"));
    EXPECT_EQ(MessageText, Lines({UsageText()}));

    EXPECT_EQ(UsageText(),
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
        CommandLineMode = false;
        ConfigMode = false;
        ConfigFileName.clear();
        MessageText.clear();
        EXPECT_FALSE(Validate(c.line));
        EXPECT_EQ(MessageText, Lines({c.message, UsageText()}));
    }
}

TEST_F(CommandLineTest, AllChecksRunInOrder) {
    RunSettings settings;
    settings.Server = "   ";
    settings.ArchiveFacts = true;
    settings.StatusFileRequested = true;
    settings.LogDirectory = "/l";  // without LogRequested it does not count
    ConfigMode = true;

    // The main window's path: messages only, no usage text.
    EXPECT_FALSE(ValidateRunSettings(settings));
    EXPECT_EQ(MessageText,
              Lines({"Machine must be specified", "Database must be specified",
                     "User name must be specified for connecting to the database",
                     "Archive machine must be specified", "Archive database must be specified",
                     "User name must be specified for connecting to the Archive database",
                     "When in Config Mode Please specify the Config File Name",
                     "When in Status Mode Please specify the Status File Name",
                     "Log Directory name must be specified"}));

    MessageText.clear();
    ConfigMode = false;
    CommandLineMode = true;
    settings = RunSettings{};
    settings.WindowsAuth = true;
    settings.ArchiveWindowsAuth = true;
    settings.ArchiveFacts = true;
    EXPECT_FALSE(ValidateRunSettings(settings));
    EXPECT_EQ(MessageText,
              Lines({"Machine must be specified", "Database must be specified",
                     "It is not possible to use Windows NT Authentication for both the Data "
                     "Warehouse database and the archive database.",
                     "Archive machine must be specified", "Archive database must be specified",
                     "Log Directory name must be specified", UsageText()}));
}

TEST_F(CommandLineTest, ReadCommandFileTakesTheFirstLine) {
    const auto path = Dir() / "run.cmd";
    std::ofstream(path, std::ios::binary) << "\xEF\xBB\xBF-mac m -log \"/a b\"\r\n-db ignored\r\n";
    std::string line;
    std::string error;
    ASSERT_TRUE(ReadCommandFile(path.string(), line, error)) << error;
    EXPECT_EQ(line, "-mac m -log \"/a b\"");
}

TEST_F(CommandLineTest, ReadCommandFileNamesAMissingFile) {
    std::string line = "unchanged";
    std::string error;
    for (const auto& path : {Dir() / "missing.cmd", Dir()}) {
        error.clear();
        EXPECT_FALSE(ReadCommandFile(path.string(), line, error));
        EXPECT_NE(error.find(path.string()), std::string::npos) << error;
    }
    EXPECT_EQ(line, "unchanged");
}

}  // namespace
}  // namespace varnel

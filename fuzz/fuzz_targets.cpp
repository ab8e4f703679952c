#include "fuzz/fuzz_targets.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "run/command_line.h"
#include "run/config_file.h"
#include "run/process_state.h"
#include "run/run_settings.h"
#include "tasks/dimension_checks/records_query.h"

namespace varnel::fuzz {

namespace {

void Check(bool holds, const char* rule) {
    if (holds) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", rule);
    std::abort();
}

std::string AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

std::vector<std::string> SplitAt(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t end = text.find(separator); end != std::string::npos;
         end = text.find(separator, start)) {
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

// Written out again here, so that a name dropped from the option table shows up.
constexpr std::array<std::string_view, 22> KnownOptions = {
    "mac",     "usr",     "password", "ntaut",      "db",     "bkmac", "bkusr", "password_bk",
    "bkntaut", "bkdb",    "chkmd",    "clsf",       "mark",   "del",   "datom", "grep",
    "log",     "logfile", "config",   "statusfile", "job_id", "help"};

bool IsKnownOption(const std::string& name) {
    const std::string lower = LowerCase(name);
    return std::find(KnownOptions.begin(), KnownOptions.end(), lower) != KnownOptions.end();
}

// The query with its blanks made single and one blank after every word, as the rebuild
// keeps the words it does not look at.
std::string SingleBlanks(const std::string& text) {
    std::string single;
    for (const std::string& word : SplitAt(text, ' '))
        if (!word.empty()) single += word + " ";
    return single;
}

}  // namespace

void SplitArgumentsTarget(const std::uint8_t* data, std::size_t size) {
    const std::string line = AsText(data, size);
    const std::size_t maximum = MaxCommandLineArguments;
    const std::vector<std::string> limited = SplitArguments(line, MaxCommandLineArguments);
    const std::vector<std::string> all = SplitArguments(line, std::numeric_limits<int>::max());
    Check(limited.size() <= maximum, "more arguments than the maximum");
    Check(limited.size() == std::min(all.size(), maximum), "the limit drops a whole argument");
    Check(std::equal(limited.begin(), limited.end(), all.begin()),
          "the limited arguments differ from the first ones of the whole line");
    for (const std::string& argument : all) {
        Check(argument.find('"') == std::string::npos, "a quote was copied into an argument");
    }
    if (line.find('"') == std::string::npos) {
        std::string joined;
        for (const std::string& argument : all) {
            Check(!argument.empty(), "an empty argument without quotes");
            Check(argument.find_first_of(" \t") == std::string::npos,
                  "a blank inside an argument without quotes");
            joined += argument;
        }
        std::string withoutBlanks = line;
        std::erase_if(withoutBlanks, [](char c) { return c == ' ' || c == '\t'; });
        Check(joined == withoutBlanks, "a character was lost or added");
    }

    ProcessState state;
    RunSettings settings;
    SplitArguments(state, settings, line, MaxCommandLineArguments);
    const bool valid = ValidateRunSettings(state, settings);
    if (all.size() > maximum && DecideStartMode(state) == StartMode::Unattended) {
        Check(!valid, "a line of more than 25 arguments was accepted for a run");
        Check(state.MessageText.find("Too many arguments") != std::string::npos,
              "the refusal of a long line does not say why");
    }
}

void OptionsTarget(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> args = SplitAt(AsText(data, size), '\n');
    ProcessState state;
    RunSettings settings;
    ApplyArguments(state, settings, args, MaxCommandLineArguments);
    Check(!state.ConfigMode || state.CommandLineMode,
          "configuration mode outside command-line mode");
    Check(state.ConfigMode == settings.ConfigRequested, "-config set only half of its values");

    const bool valid = ValidateRunSettings(state, settings);
    if (!valid) {
        Check(settings.HelpRequested || !IsBlank(state.MessageText), "refused without a reason");
        if (state.CommandLineMode) {
            Check(state.MessageText.ends_with(UsageText()), "a refused line without the usage");
        }
        return;
    }
    Check(!settings.HelpRequested, "a help request was accepted for a run");
    Check(!IsBlank(settings.Server) && !IsBlank(settings.Database),
          "accepted without machine or database");
    Check(settings.WindowsAuth || !IsBlank(settings.UserName), "accepted without a login");
    Check(settings.LogRequested && !IsBlank(settings.LogDirectory),
          "accepted without a log directory");
    if (DecideStartMode(state) != StartMode::Unattended) return;
    Check(args.size() <= static_cast<std::size_t>(MaxCommandLineArguments),
          "a run was accepted with more than 25 arguments");
    for (const std::string& argument : args) {
        if (argument.starts_with('-')) {
            Check(IsKnownOption(argument.substr(1)), "a run was accepted with an unknown option");
        }
    }
}

void CommandFileTarget(const std::uint8_t* data, std::size_t size) {
    // One file per process, written again for every input.
    static const std::string path = [] {
        const char* folder = std::getenv("TMPDIR");
        std::string pattern =
            std::string(folder != nullptr ? folder : "/tmp") + "/varnel-fuzz-command-XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        Check(fd >= 0, "cannot make a temporary file");
        ::close(fd);
        static const std::string made = pattern;
        std::atexit([] { ::unlink(made.c_str()); });
        return pattern;
    }();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    Check(file != nullptr, "cannot write the temporary file");
    // fwrite must not be handed the null pointer of an empty input.
    Check((size == 0 || std::fwrite(data, 1, size, file) == size) && std::fclose(file) == 0,
          "cannot write the temporary file");

    std::string line = "left alone";
    std::string error;
    const bool read = ReadCommandFile(path, line, error);
    if (size > static_cast<std::size_t>(MaxCommandFileBytes)) {
        Check(!read, "a file over the limit was read");
        Check(error.find(path) != std::string::npos, "the refusal does not name the file");
        Check(line == "left alone", "a refused file changed the command line");
        return;
    }
    Check(read && error.empty(), "a small regular file was refused");
    std::string expected = AsText(data, size);
    expected.erase(std::min(expected.find_first_of("\r\n"), expected.size()));
    if (expected.starts_with("\xEF\xBB\xBF")) expected.erase(0, 3);
    Check(line == expected, "the command line is not the file's first line");
}

void ConfigurationLineTarget(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return;
    const unsigned flags = data[0] | (static_cast<unsigned>(data[1]) << 8);
    std::vector<std::string> values = SplitAt(AsText(data + 2, size - 2), '\n');
    values.resize(std::max<std::size_t>(values.size(), 14));
    const auto flag = [flags](unsigned bit) { return (flags >> bit & 1U) != 0; };

    RunSettings window;
    window.Server = values[0];
    window.Database = values[1];
    window.UserName = values[2];
    window.Password = values[3];
    window.LogDirectory = values[4];
    window.WindowsAuth = flag(0);
    window.CheckMetadata = flag(1);
    window.ArchiveFacts = flag(2);
    window.MarkUnused = flag(3);
    window.GenerateReports = flag(4);
    window.DeleteMarked = flag(5);
    window.AtomicDelete = flag(6);
    // The window's own archive fields must not reach the line.
    window.ArchiveServer = values[5];
    window.ArchiveUserName = values[6];
    window.ArchiveWindowsAuth = flag(7);
    RunSettings archive;
    archive.ArchiveServer = values[8];
    archive.ArchiveDatabase = values[9];
    archive.ArchiveUserName = values[10];
    archive.ArchivePassword = values[11];
    archive.ArchiveWindowsAuth = flag(8);
    // Fields a saved line never carries.
    window.JobId = values[12];
    window.StatusFile = values[13];
    window.StatusFileRequested = flag(9);
    window.HelpRequested = flag(10);

    // The line quotes only the log directory: every other value must be one word. No value
    // may begin with a dash, quoted or not: the reader gives such a value its own turn as
    // an option. Other records are outside what the line can carry.
    const auto oneWord = [](const std::string& value) {
        return !value.empty() && value.find_first_of(" \t\"") == std::string::npos &&
               !value.starts_with('-');
    };
    const auto optionalWord = [&oneWord](const std::string& value) {
        return IsBlank(value) || oneWord(value);
    };
    const std::string logDirectory = TrimBlanks(window.LogDirectory);
    if (!oneWord(window.Server) || !oneWord(window.Database) || logDirectory.empty() ||
        logDirectory.find('"') != std::string::npos || logDirectory.starts_with('-')) {
        return;
    }
    if (!window.WindowsAuth && (!oneWord(window.UserName) || !optionalWord(window.Password))) {
        return;
    }
    if (window.ArchiveFacts &&
        (!oneWord(archive.ArchiveServer) || !oneWord(archive.ArchiveDatabase) ||
         (!archive.ArchiveWindowsAuth &&
          (!oneWord(archive.ArchiveUserName) || !optionalWord(archive.ArchivePassword))))) {
        return;
    }

    RunSettings expected;
    expected.Server = window.Server;
    expected.Database = window.Database;
    expected.WindowsAuth = window.WindowsAuth;
    if (!window.WindowsAuth) {
        expected.UserName = window.UserName;
        if (!IsBlank(window.Password)) expected.Password = window.Password;
    }
    expected.CheckMetadata = window.CheckMetadata;
    expected.ArchiveFacts = window.ArchiveFacts;
    if (window.ArchiveFacts) {
        expected.ArchiveServer = archive.ArchiveServer;
        expected.ArchiveDatabase = archive.ArchiveDatabase;
        expected.ArchiveWindowsAuth = archive.ArchiveWindowsAuth;
        if (!archive.ArchiveWindowsAuth) {
            expected.ArchiveUserName = archive.ArchiveUserName;
            if (!IsBlank(archive.ArchivePassword)) {
                expected.ArchivePassword = archive.ArchivePassword;
            }
        }
    }
    expected.MarkUnused = window.MarkUnused;
    expected.GenerateReports = window.GenerateReports;
    expected.DeleteMarked = window.DeleteMarked;
    expected.AtomicDelete = window.DeleteMarked && window.AtomicDelete;
    expected.LogRequested = true;
    expected.LogDirectory = logDirectory;

    const std::string line = BuildConfigurationLine(window, archive);
    ProcessState state;
    RunSettings readBack;
    SplitArguments(state, readBack, line, MaxCommandLineArguments);
    Check(readBack == expected, "the saved line reads back as another record");
    Check(state.CommandLineFaults.empty(), "the saved line has faults");
    Check(DecideStartMode(state) == StartMode::Unattended, "the saved line does not start a run");
    const bool bothWindowsLogins =
        expected.ArchiveFacts && expected.WindowsAuth && expected.ArchiveWindowsAuth;
    Check(ValidateRunSettings(state, readBack) != bothWindowsLogins,
          "the saved line is refused for a run");
}

void RecordsQueryTarget(const std::uint8_t* data, std::size_t size) {
    const std::string query = AsText(data, size);
    const bool join = IsJoinQuery(query);
    if (query.find(',') == std::string::npos) Check(!join, "a join without a comma");

    std::string message;
    const std::optional<std::string> rebuilt = RebuildRecordsQuery(query, message);
    const std::string single = SingleBlanks(query);
    if (!rebuilt) {
        Check(message.starts_with("The query cannot be run, because nothing follows ") &&
                  message.ends_with("."),
              "a refused query without its message");
        Check(LowerCase(single).find("top ") != std::string::npos, "refused without TOP");
        return;
    }
    const std::string head = "Select ";
    const std::string marker = " is_sustainable, ";
    Check(rebuilt->starts_with(head), "the rebuilt query does not begin with Select");
    const std::size_t at = rebuilt->find(marker);
    Check(at != std::string::npos, "is_sustainable was not put in");
    // The rebuild leaves one blank more at the end; blanks at the end do not count.
    Check(TrimBlanks(single).ends_with(TrimBlanks(rebuilt->substr(at + marker.size()))),
          "the select list and the rest are not the typed words");
}

Target FindTarget(std::string_view name) {
    struct Named {
        std::string_view name;
        Target target;
    };
    static constexpr std::array<Named, 5> targets = {{
        {"split_arguments", &SplitArgumentsTarget},
        {"options", &OptionsTarget},
        {"command_file", &CommandFileTarget},
        {"configuration_line", &ConfigurationLineTarget},
        {"records_query", &RecordsQueryTarget},
    }};
    for (const Named& named : targets)
        if (named.name == name) return named.target;
    return nullptr;
}

}  // namespace varnel::fuzz

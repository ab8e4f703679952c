#include "run/command_line.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <limits>
#include <string_view>
#include <system_error>

#include "base/text.h"
#include "run/process_state.h"
#include "warehouse/connector.h"

namespace varnel {

namespace {

constexpr std::array<std::string_view, 22> OptionNames = {
    "mac",     "usr",     "password", "ntaut",      "db",     "bkmac", "bkusr", "password_bk",
    "bkntaut", "bkdb",    "chkmd",    "clsf",       "mark",   "del",   "datom", "grep",
    "log",     "logfile", "config",   "statusfile", "job_id", "help"};

constexpr std::array<std::string_view, 13> ValueOptionNames = {
    "mac",  "usr", "password", "db",         "bkmac",  "bkusr", "password_bk",
    "bkdb", "log", "logfile",  "statusfile", "job_id", "config"};

bool TakesValue(std::string_view name) {
    const std::string lower = LowerCase(name);
    return std::find(ValueOptionNames.begin(), ValueOptionNames.end(), lower) !=
           ValueOptionNames.end();
}

// A dash always introduces an option (an unknown one asks for help). A slash does so only
// for a known option name: every absolute path here begins with a slash, and a value such
// as "-log /var/log/varnel" must not turn the run into a help request.
bool IsOptionArgument(const std::string& argument) {
    if (argument.empty()) return false;
    if (argument.front() == '-') return true;
    return argument.front() == '/' && IsOptionName(std::string_view(argument).substr(1));
}

// An argument that would name an option if it stood on its own: a dash and an option name.
bool NamesDashOption(const std::string& argument) {
    return argument.starts_with('-') && IsOptionName(std::string_view(argument).substr(1));
}

}  // namespace

bool IsOptionName(std::string_view name) {
    const std::string lower = LowerCase(name);
    return std::find(OptionNames.begin(), OptionNames.end(), lower) != OptionNames.end();
}

std::vector<std::string> SplitArguments(const std::string& commandLine, int maxArguments) {
    std::vector<std::string> args;
    if (maxArguments <= 0 || IsBlank(commandLine)) return args;
    const auto maximum = static_cast<std::size_t>(maxArguments);

    bool inArgument = false;
    bool inQuotes = false;
    // False when one more argument would pass the maximum: the rest of the line is ignored.
    const auto startArgument = [&] {
        if (args.size() >= maximum) return false;
        args.emplace_back();
        inArgument = true;
        return true;
    };

    for (const char c : commandLine) {
        if (c == '"') {
            if (inQuotes) {
                inQuotes = false;  // the argument goes on after a closing quote
            } else {
                if (!startArgument()) break;
                inQuotes = true;
            }
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            inArgument = false;
        } else {
            if (!inArgument && !startArgument()) break;
            args.back() += c;
        }
    }
    return args;
}

void SplitArguments(ProcessState& state, RunSettings& settings, const std::string& commandLine,
                    int maxArguments) {
    // Every argument is counted: one past the maximum must be refused, not dropped.
    ApplyArguments(state, settings, SplitArguments(commandLine, std::numeric_limits<int>::max()),
                   maxArguments);
}

void ApplyArguments(ProcessState& state, RunSettings& settings,
                    const std::vector<std::string>& args, int maxArguments) {
    std::vector<std::string>& faults = state.CommandLineFaults;
    faults.clear();
    if (args.size() > static_cast<std::size_t>(std::max(maxArguments, 0))) {
        faults.push_back("Too many arguments: at most " + std::to_string(maxArguments) +
                         " are allowed and the command line has " + std::to_string(args.size()) +
                         "; nothing was done.");
    }
    static const std::string noValue;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!IsOptionArgument(args[i])) continue;
        const std::string name = args[i].substr(1);
        if (!IsOptionName(name)) faults.push_back("Unknown option \"" + args[i] + "\"");
        if (!TakesValue(name)) {
            ApplyOption(state, name, noValue, settings);
            continue;
        }
        // The argument after an option that takes a value is that value, whatever it
        // starts with, unless it names an option: "-log -del" would otherwise either
        // make a folder "-del" or delete, and the operator meant one of the two.
        const bool hasNext = i + 1 < args.size();
        if (hasNext && NamesDashOption(args[i + 1])) {
            faults.push_back("The option " + args[i] + " needs a value; " + args[i + 1] +
                             " is an option.");
            ApplyOption(state, name, noValue, settings);
            continue;
        }
        ApplyOption(state, name, hasNext ? args[i + 1] : noValue, settings);
        if (hasNext) ++i;
    }
}

void ApplyProcessArguments(ProcessState& state, RunSettings& settings, int argc, char** argv,
                           int maxArguments) {
    // The shell has already split and unquoted these; splitting them again would break
    // values such as a quoted directory with a blank in it.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    ApplyArguments(state, settings, args, maxArguments);
}

void ApplyOption(ProcessState& state, const std::string& name, const std::string& value,
                 RunSettings& settings) {
    const std::string option = LowerCase(name);
    // A log copy alone is no reason to leave the main window.
    if (option != "logfile") state.CommandLineMode = true;

    if (option == "mac") {
        settings.Server = value;
    } else if (option == "usr") {
        settings.UserName = value;
    } else if (option == "password") {
        settings.Password = value;
    } else if (option == "ntaut") {
        settings.WindowsAuth = true;
    } else if (option == "db") {
        settings.Database = value;
    } else if (option == "bkmac") {
        settings.ArchiveServer = value;
    } else if (option == "bkusr") {
        settings.ArchiveUserName = value;
    } else if (option == "password_bk") {
        settings.ArchivePassword = value;
    } else if (option == "bkntaut") {
        settings.ArchiveWindowsAuth = true;
    } else if (option == "bkdb") {
        settings.ArchiveDatabase = value;
    } else if (option == "chkmd") {
        settings.CheckMetadata = true;
    } else if (option == "clsf") {
        settings.ArchiveFacts = true;
    } else if (option == "mark") {
        settings.MarkUnused = true;
    } else if (option == "del") {
        settings.DeleteMarked = true;
    } else if (option == "datom") {
        settings.AtomicDelete = true;
    } else if (option == "grep") {
        settings.GenerateReports = true;
    } else if (option == "log") {
        settings.LogRequested = true;
        settings.LogDirectory = value;
    } else if (option == "logfile") {
        settings.LogCopyRequested = true;
        settings.LogCopyFile = value;
    } else if (option == "config") {
        settings.ConfigRequested = true;
        settings.ConfigFile = value;
        state.ConfigMode = true;
        state.ConfigFileName = value;
    } else if (option == "statusfile") {
        settings.StatusFileRequested = true;
        settings.StatusFile = value;
    } else if (option == "job_id") {
        settings.JobId = value;
    } else {
        // -help and every name this table does not know
        settings.HelpRequested = true;
    }
}

bool ValidateRunSettings(ProcessState& state, const RunSettings& settings) {
    bool valid = true;
    // Every check runs so that the operator sees all that is missing at once.
    const auto fail = [&valid, &state](const std::string& message) {
        state.AppendMessageLine(message);
        valid = false;
    };

    // An unattended run also needs a sound line: too many arguments or an unknown option
    // refuse it, whatever the record holds.
    if (state.CommandLineMode && !state.ConfigMode) {
        for (const std::string& fault : state.CommandLineFaults) fail(fault);
    }
    if (settings.HelpRequested) {
        valid = false;
    } else {
        if (IsBlank(settings.Server)) fail("Machine must be specified");
        if (IsBlank(settings.Database)) fail("Database must be specified");
        // A SQLite file has no login: its user name and authentication are not asked for.
        const bool sqliteWarehouse = IsSqliteServer(settings.Server);
        const bool sqliteArchive = IsSqliteServer(settings.ArchiveServer);
        if (!settings.WindowsAuth && !sqliteWarehouse && IsBlank(settings.UserName)) {
            fail("User name must be specified for connecting to the database");
        }
        if (settings.ArchiveFacts && settings.WindowsAuth && settings.ArchiveWindowsAuth &&
            !sqliteWarehouse && !sqliteArchive) {
            fail(std::string("It is not possible to use Windows NT Authentication for both the") +
                 " Data Warehouse database and the archive database.");
        }
        if (settings.ArchiveFacts && IsBlank(settings.ArchiveServer)) {
            fail("Archive machine must be specified");
        }
        if (settings.ArchiveFacts && IsBlank(settings.ArchiveDatabase)) {
            fail("Archive database must be specified");
        }
        if (settings.ArchiveFacts && !settings.ArchiveWindowsAuth && !sqliteArchive &&
            IsBlank(settings.ArchiveUserName)) {
            fail("User name must be specified for connecting to the Archive database");
        }
        if (state.ConfigMode && IsBlank(state.ConfigFileName)) {
            fail("When in Config Mode Please specify the Config File Name");
        }
        if (settings.StatusFileRequested && IsBlank(settings.StatusFile)) {
            fail("When in Status Mode Please specify the Status File Name");
        }
        if (!settings.LogRequested || IsBlank(settings.LogDirectory)) {
            fail("Log Directory name must be specified");
        }
    }

    // The main window shows the messages itself; only an unattended run needs the usage.
    if (!state.CommandLineMode || valid) return valid;
    state.AppendMessageLine(UsageText());
    return false;
}

const std::string& UsageText() {
    static const std::string usage =
        "Usage: Varnel -mac <machine> {-usr <user name> -password <password> | -ntaut} "
        "-db <database> -bkmac <machine> {-bkusr <user name> -password_bk <password> | "
        "-bkntaut} -bkdb <database> -log <logDirectory> -logfile <logfile> "
        "[-config <configfile>] [-statusfile <statusfile>] [-chkmd] [-clsf] [-mark] [-del] "
        "[-datom] [-grep] [-help]";
    return usage;
}

StartMode DecideStartMode(const ProcessState& state) {
    if (!state.CommandLineMode) return StartMode::Interactive;
    return state.ConfigMode ? StartMode::Configuration : StartMode::Unattended;
}

namespace {

//! Closes a file descriptor when it goes out of scope.
class ReadDescriptor {
  public:
    explicit ReadDescriptor(int fd) : fd_(fd) {}
    ReadDescriptor(const ReadDescriptor&) = delete;
    ReadDescriptor& operator=(const ReadDescriptor&) = delete;
    ~ReadDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int Get() const { return fd_; }

  private:
    int fd_;
};

std::string CommandFileError(const std::string& path, const std::string& what) {
    return "The command file \"" + path + "\" " + what;
}

std::string TooLarge(const std::string& path) {
    return CommandFileError(
        path, "is larger than " + std::to_string(MaxCommandFileBytes / 1024) + " KiB.");
}

}  // namespace

bool ReadCommandFile(const std::string& path, std::string& commandLine, std::string& error) {
    // Looked at before it is opened: opening a FIFO without a writer would wait for one.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        error = errno == ENOENT
                    ? CommandFileError(path, "does not exist.")
                    : CommandFileError(path,
                                       "cannot be read: " + std::generic_category().message(errno));
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        error = CommandFileError(path, "is a directory.");
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error = CommandFileError(path, "is not a regular file.");
        return false;
    }
    if (status.st_size > MaxCommandFileBytes) {
        error = TooLarge(path);
        return false;
    }
    // The file may have been swapped for another kind between the look and the opening;
    // O_NONBLOCK keeps even that from waiting, and the second look refuses it.
    ReadDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0 || ::fstat(file.Get(), &status) != 0) {
        error = CommandFileError(path, "cannot be read: " + std::generic_category().message(errno));
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error = CommandFileError(path, "is not a regular file.");
        return false;
    }

    // One byte more than allowed tells a file that grew past the limit from one that fits.
    std::string text(static_cast<std::size_t>(MaxCommandFileBytes) + 1, '\0');
    std::size_t size = 0;
    while (size < text.size()) {
        const ssize_t n = ::read(file.Get(), text.data() + size, text.size() - size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error =
                CommandFileError(path, "cannot be read: " + std::generic_category().message(errno));
            return false;
        }
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    if (size > static_cast<std::size_t>(MaxCommandFileBytes)) {
        error = TooLarge(path);
        return false;
    }
    text.resize(size);

    std::string line = text.substr(0, std::min(text.find_first_of("\r\n"), text.size()));
    // A line saved by an editor on another system may carry a byte-order mark.
    if (line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
    commandLine = line;
    return true;
}

}  // namespace varnel

#include "bench/bench_util.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "bench/warehouse_generator.h"
#include "warehouse/connector.h"

extern char** environ;

namespace varnel::bench {

namespace {

std::string Joined(const std::vector<std::string>& arguments) {
    std::string text;
    for (const auto& argument : arguments) text += (text.empty() ? "" : " ") + argument;
    return text;
}

std::int64_t PositiveNumber(const std::string& option, const std::string& text) {
    std::size_t used = 0;
    std::int64_t value = 0;
    try {
        value = std::stoll(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || value <= 0)
        throw std::invalid_argument(option + " wants a positive number, not '" + text + "'");
    return value;
}

}  // namespace

double TimeSeconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

ChildRun RunChild(const ChildCommand& command) {
    if (command.Arguments.empty()) throw std::invalid_argument("a child needs a program");
    // Everything the child needs is built before the fork: after it, only
    // async-signal-safe calls.
    std::vector<char*> argv;
    for (const auto& argument : command.Arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> added;
    for (const auto& [name, value] : command.Environment) added.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (char** entry = environ; *entry; ++entry) {
        const bool replaced = std::any_of(
            command.Environment.begin(), command.Environment.end(), [&](const auto& variable) {
                const std::string prefix = variable.first + "=";
                return std::strncmp(*entry, prefix.c_str(), prefix.size()) == 0;
            });
        if (!replaced) envp.push_back(*entry);
    }
    for (auto& variable : added) envp.push_back(variable.data());
    envp.push_back(nullptr);
    const std::string input = command.Input.empty() ? "/dev/null" : command.Input;

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("cannot fork: " + std::string(std::strerror(errno)));
    if (pid == 0) {
        const int in = open(input.c_str(), O_RDONLY);
        const int out = open("/dev/null", O_WRONLY);
        if (in < 0 || out < 0 || dup2(in, STDIN_FILENO) < 0 || dup2(out, STDOUT_FILENO) < 0)
            _exit(126);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0)
        if (errno != EINTR)
            throw std::runtime_error("cannot wait for " + Joined(command.Arguments) + ": " +
                                     std::strerror(errno));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(
            "failed (" +
            (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                               : "signal " + std::to_string(WTERMSIG(status))) +
            "): " + Joined(command.Arguments) + (command.Input.empty() ? "" : " < " + input));
    const auto cpu = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    // Linux reports ru_maxrss in kB.
    return {seconds, static_cast<double>(usage.ru_maxrss) / 1024.0,
            cpu(usage.ru_utime) + cpu(usage.ru_stime)};
}

Spread Summarize(std::vector<double> values) {
    if (values.empty()) return {};
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    const double median =
        values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    return {median, values.front(), values.back()};
}

double Median(std::vector<double> values) {
    return Summarize(std::move(values)).Median;
}

BenchOptions ParseOptions(int argc, char** argv, const std::vector<std::int64_t>& defaultScales) {
    BenchOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--runs" || argument == "--warehouses") {
            if (i + 1 >= argc) throw std::invalid_argument(argument + " wants a value");
            const std::string value = argv[++i];
            if (argument == "--runs")
                options.Runs =
                    static_cast<int>(std::min<std::int64_t>(PositiveNumber(argument, value), 1000));
            else
                options.Warehouses = value;
        } else if (argument.starts_with("-")) {
            throw std::invalid_argument("unknown option " + argument +
                                        " (usage: [--runs N] [--warehouses DIR] [fact rows ...])");
        } else {
            options.Scales.push_back(PositiveNumber("fact rows", argument));
        }
    }
    if (options.Scales.empty()) options.Scales = defaultScales;
    return options;
}

std::string StandardWarehouseFile(const BenchOptions& options, std::int64_t factRows,
                                  const std::string& folder) {
    const std::string name = "standard_" + std::to_string(factRows) + ".db";
    if (options.Warehouses.empty()) {
        const std::string path = folder + "/" + name;
        GenerateWarehouse(path, StandardWarehouse(factRows));
        return path;
    }
    std::filesystem::create_directories(options.Warehouses);
    const std::string path = options.Warehouses + "/" + name;
    if (std::filesystem::exists(path)) return path;
    // Generated under another name and renamed when complete: a run stopped half-way
    // leaves no file that a later program would take for a whole warehouse.
    const std::string partial = path + ".partial";
    GenerateWarehouse(partial, StandardWarehouse(factRows));
    for (const char* suffix : {"-wal", "-shm"}) std::filesystem::remove(partial + suffix);
    std::filesystem::rename(partial, path);
    return path;
}

Alternation Alternate(int runs, const std::function<void()>& prepare,
                      const std::function<ChildRun()>& varnel,
                      const std::function<ChildRun()>& bare) {
    Alternation result;
    const auto runVarnel = [&] {
        const ChildRun run = varnel();
        result.Varnel.push_back(run.Seconds);
        result.VarnelCpu.push_back(run.CpuSeconds);
        result.VarnelPeakRssMb = std::max(result.VarnelPeakRssMb, run.PeakRssMb);
    };
    const auto runBare = [&] {
        const ChildRun run = bare();
        result.Bare.push_back(run.Seconds);
        result.BareCpu.push_back(run.CpuSeconds);
    };
    for (int i = 0; i < runs; ++i) {
        prepare();
        if (i % 2 == 0) {
            runVarnel();
            runBare();
        } else {
            runBare();
            runVarnel();
        }
    }
    return result;
}

Spread FixedCostMs(int runs, const std::function<void()>& prepare,
                   const std::function<ChildRun()>& run) {
    std::vector<double> milliseconds;
    for (int i = 0; i < std::max(runs, 5); ++i) {
        prepare();
        milliseconds.push_back(run().Seconds * 1000);
    }
    return Summarize(milliseconds);
}

std::string ResultLine(const TaskFigures& f) {
    std::array<char, 512> line{};
    std::snprintf(line.data(), line.size(),
                  "RESULT task=%s rows=%lld varnel_s=%.4f varnel_min_s=%.4f varnel_max_s=%.4f "
                  "bare_s=%.4f bare_min_s=%.4f bare_max_s=%.4f fixed_ms=%.1f fixed_min_ms=%.1f "
                  "fixed_max_ms=%.1f peak_rss_mb=%.1f",
                  f.Task.c_str(), static_cast<long long>(f.FactRows), f.Varnel.Median, f.Varnel.Min,
                  f.Varnel.Max, f.Bare.Median, f.Bare.Min, f.Bare.Max, f.FixedMs.Median,
                  f.FixedMs.Min, f.FixedMs.Max, f.PeakRssMb);
    return line.data();
}

void PrintFigures(const TaskFigures& f) {
    std::printf(
        "%-8s %10lld rows: varnel %.3f s (%.3f-%.3f), bare %.3f s (%.3f-%.3f), ratio %.2f, "
        "fixed cost %.1f ms, peak RSS %.1f MB\n%s\n",
        f.Task.c_str(), static_cast<long long>(f.FactRows), f.Varnel.Median, f.Varnel.Min,
        f.Varnel.Max, f.Bare.Median, f.Bare.Min, f.Bare.Max,
        f.Bare.Median > 0 ? f.Varnel.Median / f.Bare.Median : 0.0, f.FixedMs.Median, f.PeakRssMb,
        ResultLine(f).c_str());
    std::fflush(stdout);
}

bool ResultsAgree(const std::string& what, const std::string& task, const std::string& shell) {
    if (task != shell) {
        std::printf("MISMATCH between the task's %s and the shell's:\n  %s\n  %s\n", what.c_str(),
                    task.c_str(), shell.c_str());
        return false;
    }
    std::printf("%12s %s agree: %s\n", "", what.c_str(), task.c_str());
    std::fflush(stdout);
    return true;
}

void PrintCpuFigures(const Alternation& runs) {
    const Spread varnel = Summarize(runs.VarnelCpu), bare = Summarize(runs.BareCpu);
    std::printf(
        "%12s processor time (user+system): varnel %.3f s (%.3f-%.3f), bare %.3f s "
        "(%.3f-%.3f), ratio %.2f\n",
        "", varnel.Median, varnel.Min, varnel.Max, bare.Median, bare.Min, bare.Max,
        bare.Median > 0 ? varnel.Median / bare.Median : 0.0);
    std::fflush(stdout);
}

ChildCommand VarnelCommand(const std::string& folder, const std::string& warehouse,
                           const std::vector<std::string>& arguments) {
    ChildCommand command;
    command.Arguments = {VarnelPath(), "-mac", "sqlite", "-db", warehouse, "-ntaut"};
    command.Arguments.insert(command.Arguments.end(), arguments.begin(), arguments.end());
    command.Arguments.insert(command.Arguments.end(), {"-log", folder + "/logs"});
    command.Environment = {{"VARNEL_HISTORY", folder + "/history.db"}};
    return command;
}

ChildCommand SqliteScript(const std::string& warehouse, const std::string& script) {
    return ChildCommand{{"sqlite3", warehouse}, {}, script};
}

void RunShell(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("command failed: " + command);
}

std::string VarnelPath() {
    return VARNEL_EXE;
}

std::string SqliteShell(const std::string& path, const std::string& query) {
    const std::string command = "sqlite3 '" + path + "' \"" + query + "\"";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) throw std::runtime_error("cannot run sqlite3");
    std::string output;
    std::array<char, 4096> buffer{};
    while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe.get()))
        output += buffer.data();
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    return output;
}

void CopyWarehouse(const std::string& from, const std::string& to) {
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(to + suffix);
    std::filesystem::copy_file(from, to);
}

std::string BenchFolder(const std::string& name) {
    std::string base = "/tmp";
    if (const char* configured = std::getenv("VARNEL_BENCH_DIR")) base = configured;
    const std::string folder = base + "/varnel-bench-" + name;
    std::filesystem::create_directories(folder);
    return folder;
}

std::unique_ptr<Connection> OpenSqlite(const std::string& path) {
    Connector connector;
    connector.Server = "sqlite";
    connector.Database = path;
    connector.EmptyFile = NewFile::Allowed;
    return connector.Connect(60);
}

}  // namespace varnel::bench

#include "driver/output_guard.h"

#include <filesystem>
#include <system_error>

#include "base/text.h"
#include "reports/report_frame.h"
#include "warehouse/connector.h"
#include "warehouse/live_lock.h"

namespace varnel {

namespace fs = std::filesystem;

namespace {

// The path as the file system would reach it: absolute, links resolved as far as the
// files exist, a link to a file not yet there followed as well.
fs::path Resolved(const std::string& name) {
    std::error_code error;
    fs::path path = fs::absolute(name, error);
    if (error) path = name;
    for (int links = 0; links < 40 && fs::is_symlink(path, error); ++links) {
        const fs::path target = fs::read_symlink(path, error);
        if (error) break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    const fs::path resolved = fs::weakly_canonical(path, error);
    return error ? path.lexically_normal() : resolved;
}

struct Named {
    std::string Role;
    std::string Path;
    bool Status = false, Log = false, LogCopy = false;
};

// A database file and the files SQLite and the lock keep beside it.
void AddDatabase(std::vector<Named>& files, const std::string& role, const std::string& path) {
    if (IsBlank(path)) return;
    files.push_back({role, path});
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        files.push_back({role + "'s journal", path + suffix});
    files.push_back({role + "'s lock file", LiveLockFilePath(path)});
}

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

}  // namespace

bool SameFile(const std::string& first, const std::string& second) {
    std::error_code error;
    if (fs::exists(first, error) && fs::exists(second, error)) {
        const bool same = fs::equivalent(first, second, error);
        if (!error) return same;
    }
    return Resolved(first) == Resolved(second);
}

std::vector<OutputClash> FindOutputClashes(const RunSettings& settings, const std::string& logPath,
                                           const Timestamp& runStart,
                                           const std::string& historyPath) {
    std::vector<Named> protectedFiles;
    if (IsSqliteServer(settings.Server))
        AddDatabase(protectedFiles, "warehouse", settings.Database);
    if (IsSqliteServer(settings.ArchiveServer))
        AddDatabase(protectedFiles, "archive", settings.ArchiveDatabase);
    AddDatabase(protectedFiles, "job history", historyPath);

    std::vector<Named> outputs;
    if (settings.StatusFileRequested && !IsBlank(settings.StatusFile))
        outputs.push_back({"status file", settings.StatusFile, true});
    if (!logPath.empty()) outputs.push_back({"log", logPath, false, true});
    if (settings.LogCopyRequested && !IsBlank(settings.LogCopyFile))
        outputs.push_back({"log copy", settings.LogCopyFile, false, false, true});
    if (settings.GenerateReports && !IsBlank(settings.LogDirectory)) {
        for (const auto kind : {ReportKind::Summary, ReportKind::Detailed, ReportKind::TableFilter})
            outputs.push_back(
                {"report", ReportFilePath(settings.LogDirectory, kind, runStart, runStart)});
    }

    std::vector<OutputClash> clashes;
    const auto clash = [&clashes](const Named& output, const Named& other) {
        clashes.push_back({"The " + output.Role + " " + Quoted(output.Path) +
                               " is the same file as the " + other.Role + " " + Quoted(other.Path) +
                               ". Varnel does not write over it; nothing " + "was done.",
                           output.Status || other.Status, output.Log || other.Log,
                           output.LogCopy || other.LogCopy});
    };
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        for (const Named& file : protectedFiles)
            if (SameFile(outputs[i].Path, file.Path)) clash(outputs[i], file);
        // The outputs must not be each other either: the status word over the log, the
        // copy over the log it copies.
        for (std::size_t j = i + 1; j < outputs.size(); ++j) {
            if (outputs[i].Role == "report" && outputs[j].Role == "report") continue;
            if (SameFile(outputs[i].Path, outputs[j].Path)) clash(outputs[i], outputs[j]);
        }
    }
    return clashes;
}

}  // namespace varnel

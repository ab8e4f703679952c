#include "bench/bench_util.h"

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "warehouse/connector.h"

namespace varnel::bench {

double TimeSeconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
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
    return connector.Connect(60);
}

}  // namespace varnel::bench

#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace varnel::testing {

//! A fresh temporary folder, removed with its content when the object goes.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "varnel-test-XXXXXX");
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

inline std::string ReadFile(const std::string& path) {
    std::ostringstream content;
    content << std::ifstream(path, std::ios::binary).rdbuf();
    return content.str();
}

inline void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

//! Every file of a folder whose name ends so, one after the other; "" when there is none.
inline std::string FilesIn(const std::string& folder, const std::string& ending = "") {
    std::string all;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
        if (entry.path().string().ends_with(ending)) all += ReadFile(entry.path().string());
    return all;
}

//! The content of the one file in the folder; "<N files>" when it holds N others.
inline std::string OnlyFileIn(const std::string& folder) {
    std::error_code ignored;
    const auto n = std::distance(std::filesystem::directory_iterator(folder, ignored), {});
    return n == 1 ? FilesIn(folder) : "<" + std::to_string(n) + " files>";
}

}  // namespace varnel::testing

#pragma once

#include <filesystem>
#include <string>

namespace varnel::testing {

//! A fresh folder under the system's temporary folder, removed with its content
//! when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    //! A path inside the folder.
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

//! The whole content of a file, bytes as they are.
std::string ReadFile(const std::string& path);
//! Writes the bytes given, replacing the file.
void WriteFile(const std::string& path, const std::string& content);
//! The content of the one file in the folder; "<N files>" when it holds N others.
std::string OnlyFileIn(const std::string& folder);

}  // namespace varnel::testing

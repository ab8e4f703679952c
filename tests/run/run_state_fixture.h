#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "run/run_settings.h"
#include "run/status_file.h"

namespace varnel::testing {

//! Starts every test from the process-wide values of a fresh process, with a private
//! temporary folder removed afterwards.
class RunStateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CommandLineMode = false;
        ConfigMode = false;
        ConfigFileName.clear();
        CommandLineFaults.clear();
        SavedSettings = RunSettings{};
        MessageText.clear();
        StatusFileName.clear();

        std::random_device random;
        dir_ = std::filesystem::temp_directory_path() /
               ("varnel_run_" + std::to_string(random()) + "_" + std::to_string(random()));
        std::filesystem::create_directories(dir_);
    }

    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    //! The temporary folder of this test.
    const std::filesystem::path& Dir() const { return dir_; }

    //! The whole content of a file, read as bytes.
    static std::string ReadFile(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

  private:
    std::filesystem::path dir_;
};

}  // namespace varnel::testing

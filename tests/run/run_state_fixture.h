#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "run/process_state.h"
#include "tests/support/state_test.h"

namespace varnel::testing {

//! A fresh process state with a private temporary folder removed afterwards.
class RunStateTest : public StateTest {
  protected:
    void SetUp() override {
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

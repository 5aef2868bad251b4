#pragma once
// A scratch folder per test.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace loomtest {

/// A folder of the test's own under the system's temporary folder ("loom_<pid>_<test>"),
/// made before each test and removed after it.
class TempFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("loom_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    /// Makes a small file `name` (folders included) under the folder.
    void Touch(const std::string& name) {
        std::filesystem::create_directories((dir / name).parent_path());
        std::ofstream(dir / name) << "x";
    }
    /// The path of `name` under the folder.
    std::string P(const std::string& name) const { return (dir / name).string(); }
    std::filesystem::path dir;
};

}  // namespace loomtest

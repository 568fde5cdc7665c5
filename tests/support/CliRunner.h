#pragma once

// Runs the built sondralis-cli in a folder of the test's own and captures
// its exit status, standard output and standard error.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/Files.h"

namespace sondralis::testing {

struct CliResult {
  int Status = -1;
  std::string Out, Err;
};

class CliRunner : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("sondralis-cli-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  CliResult Run(const std::vector<std::string>& args) {
    std::string cmd = Quote(SONDRALIS_CLI);
    for (const auto& a : args) cmd.append(" ").append(Quote(a));
    cmd.append(" >").append(Quote((dir / "stdout").string())).append(" 2>").append(Quote((dir / "stderr").string()));
    CliResult r;
    const int raw = std::system(cmd.c_str());
    r.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.Out = ReadAll(dir / "stdout");
    r.Err = ReadAll(dir / "stderr");
    std::filesystem::remove(dir / "stdout");
    std::filesystem::remove(dir / "stderr");
    return r;
  }

  std::string Write(const std::string& name, const std::string& content) {
    std::ofstream(dir / name, std::ios::binary) << content;
    return (dir / name).string();
  }

  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
  }

  std::filesystem::path dir;

 private:
  static std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
  }
};

}  // namespace sondralis::testing

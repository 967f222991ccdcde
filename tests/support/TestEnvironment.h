#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

// Gives each test its own scratch folder and points the registry, the runtime directory and the
// debug log into it, so that tests never see each other's state or the user's. The folder is
// removed afterwards.
class TestEnvironment : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  const std::filesystem::path& scratch() const { return scratch_; }
  std::filesystem::path registryPath() const { return scratch_ / "registry.sqlite"; }
  std::filesystem::path debugLogPath() const { return scratch_ / "debug.log"; }
  // Folder of the built programs and the module.
  static std::filesystem::path binaryDirectory();
  static std::string ReadFile(const std::filesystem::path& path);

private:
  std::filesystem::path scratch_;
};

// Runs a shell command line and returns its exit status and everything it printed.
struct CommandResult {
  int status = -1;
  std::string output;
};
CommandResult RunCommand(const std::string& commandLine);

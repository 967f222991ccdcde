#include "tests/support/TestEnvironment.h"

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/ChildProcess.h"
#include "platform/Environment.h"
#include "platform/TextConversion.h"

namespace {

// A new, empty folder of the test's own in the temporary folder.
std::filesystem::path MakeScratchFolder() {
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("tidelink-test-" + std::to_string(random() % 1000000000));
    std::error_code error;
    if (std::filesystem::create_directory(folder, error)) return folder;
  }
  return {};
}

}  // namespace

void TestEnvironment::SetUp() {
  scratch_ = MakeScratchFolder();
  ASSERT_FALSE(scratch_.empty());
  platform::WriteEnvironmentVariable("TIDELINK_REGISTRY", registryPath().string());
  platform::WriteEnvironmentVariable("TIDELINK_RUNTIME_DIR", (scratch_ / "runtime").string());
  platform::WriteEnvironmentVariable("TIDELINK_DEBUG_LOG", debugLogPath().string());
}

void TestEnvironment::TearDown() {
  std::error_code ignored;
  std::filesystem::remove_all(scratch_, ignored);
}

std::filesystem::path TestEnvironment::binaryDirectory() {
  const std::optional<std::string> configured = platform::ReadEnvironmentVariable("TIDELINK_BIN_DIR");
  return configured ? std::filesystem::path(*configured) : std::filesystem::current_path();
}

std::string TestEnvironment::ReadFile(const std::filesystem::path& path) {
  std::ifstream stream(path, std::ios::binary);
  std::ostringstream text;
  text << stream.rdbuf();
  return text.str();
}

ScopedEnvironment::ScopedEnvironment(const char* name, const std::optional<std::string>& value)
    : name_(name), saved_(platform::ReadEnvironmentVariable(name)) {
  if (value) {
    platform::WriteEnvironmentVariable(name, *value);
  } else {
    platform::RemoveEnvironmentVariable(name);
  }
}

ScopedEnvironment::~ScopedEnvironment() {
  if (saved_) {
    platform::WriteEnvironmentVariable(name_.c_str(), *saved_);
  } else {
    platform::RemoveEnvironmentVariable(name_.c_str());
  }
}

CommandResult RunCommand(const std::string& commandLine) {
  CommandResult result;
  platform::ChildProcess process;
  if (!platform::ChildProcess::StartCommand(platform::Utf16FromUtf8(commandLine + " 2>&1"), true, process)) {
    return result;
  }
  char buffer[4096];
  while (const size_t count = process.ReadOutput(buffer, sizeof(buffer))) result.output.append(buffer, count);
  result.status = process.Wait(std::chrono::hours(24)).value_or(-1);
  return result;
}

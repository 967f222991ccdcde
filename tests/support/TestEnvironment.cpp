#include "tests/support/TestEnvironment.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

void TestEnvironment::SetUp() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tidelink-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  scratch_ = pattern;
  setenv("TIDELINK_REGISTRY", registryPath().c_str(), 1);
  setenv("TIDELINK_RUNTIME_DIR", (scratch_ / "runtime").c_str(), 1);
  setenv("TIDELINK_DEBUG_LOG", debugLogPath().c_str(), 1);
}

void TestEnvironment::TearDown() {
  std::error_code ignored;
  std::filesystem::remove_all(scratch_, ignored);
}

std::filesystem::path TestEnvironment::binaryDirectory() {
  const char* configured = std::getenv("TIDELINK_BIN_DIR");
  return configured ? std::filesystem::path(configured) : std::filesystem::current_path();
}

std::string TestEnvironment::ReadFile(const std::filesystem::path& path) {
  std::ifstream stream(path, std::ios::binary);
  std::ostringstream text;
  text << stream.rdbuf();
  return text.str();
}

CommandResult RunCommand(const std::string& commandLine) {
  CommandResult result;
  FILE* pipe = popen((commandLine + " 2>&1").c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  size_t count;
  while ((count = fread(buffer, 1, sizeof(buffer), pipe)) > 0) result.output.append(buffer, count);
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

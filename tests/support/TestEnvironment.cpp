#include "tests/support/TestEnvironment.h"

#include <chrono>
#include <fstream>
#include <list>
#include <random>
#include <sstream>

#include "platform/ChildProcess.h"
#include "platform/Environment.h"
#include "platform/ProcessList.h"
#include "platform/TextConversion.h"
#include "platform/Utf8Path.h"
#ifdef _WIN32
#include "tests/support/SharedRegistry.h"
#endif

namespace {

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream stream(path, std::ios::binary);
  std::ostringstream text;
  text << stream.rdbuf();
  return text.str();
}

// A Windows program's text output ends its lines with CR LF; the tests read lines ending in LF.
std::string WithoutCarriageReturns(std::string text) {
  size_t kept = 0;
  for (size_t index = 0; index < text.size(); ++index) {
    if (text[index] == '\r' && index + 1 < text.size() && text[index + 1] == '\n') continue;
    text[kept++] = text[index];
  }
  text.resize(kept);
  return text;
}

std::string RandomName() {
  static std::mt19937_64 random(std::random_device{}());
  return std::to_string(random() % 1000000000);
}

// A new, empty folder of the test's own in the temporary folder.
std::filesystem::path MakeScratchFolder() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("tidelink-test-" + RandomName());
    std::error_code error;
    if (std::filesystem::create_directory(folder, error)) return folder;
  }
  return {};
}

}  // namespace

void TestEnvironment::SetUp() {
  scratch_ = MakeScratchFolder();
  ASSERT_FALSE(scratch_.empty());
  platform::WriteEnvironmentVariable("TIDELINK_REGISTRY", platform::Utf8FromPath(registryPath()));
  platform::WriteEnvironmentVariable("TIDELINK_RUNTIME_DIR", platform::Utf8FromPath(scratch_ / "runtime"));
  platform::WriteEnvironmentVariable("TIDELINK_DEBUG_LOG", platform::Utf8FromPath(debugLogPath()));
#ifdef _WIN32
  ClearSharedRegistry();
#endif
}

void TestEnvironment::TearDown() {
#ifdef _WIN32
  ClearSharedRegistry();
#endif
  std::error_code ignored;
  std::filesystem::remove_all(scratch_, ignored);
}

std::filesystem::path TestEnvironment::binaryDirectory() {
  const std::optional<std::string> configured = platform::ReadEnvironmentVariable("TIDELINK_BIN_DIR");
  return configured ? platform::PathFromUtf8(*configured) : std::filesystem::current_path();
}

std::string TestEnvironment::ReadFile(const std::filesystem::path& path) { return ReadWholeFile(path); }

std::filesystem::path TestEnvironment::NonLatinName() {
  // Written as code points: the name must not depend on how the compiler reads this file.
  return std::filesystem::path(u"\u03A3\u03C7\u03AD\u03B4\u03B9\u03B1-\u56FE\u7EB8");
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
  const CommandLine command = ParseCommandLine(commandLine);
  if (command.program.empty()) return result;
  // Output and errors in one file, in the order the program wrote them: what a person running it sees.
  const std::filesystem::path output =
      command.outputFile.empty() ? std::filesystem::temp_directory_path() / ("tidelink-output-" + RandomName())
                                 : platform::PathFromUtf8(command.outputFile);
  platform::ChildProcess process;
  if (!StartCommandLine(command, output, process)) return result;
  result.status = process.Wait(std::chrono::hours(24)).value_or(-1);
  if (command.outputFile.empty()) {
    result.output = WithoutCarriageReturns(ReadWholeFile(output));
    std::error_code ignored;
    std::filesystem::remove(output, ignored);
  }
  return result;
}

bool StartCommandLine(const CommandLine& command, const std::filesystem::path& outputFile,
                      platform::ChildProcess& process) {
  // The program takes the test's environment as it is when it starts.
  std::list<ScopedEnvironment> environment;
  for (const auto& [name, value] : command.environment) environment.emplace_back(name.c_str(), value);
  std::vector<std::u16string> arguments;
  for (const std::string& argument : command.arguments) arguments.push_back(platform::Utf16FromUtf8(argument));
  const std::u16string program = platform::Utf16FromUtf8(command.program);
  if (outputFile.empty()) return platform::ChildProcess::Start(program, arguments, true, process);
  return platform::ChildProcess::StartWithOutputFile(program, arguments, platform::Utf16FromUtf8(platform::Utf8FromPath(outputFile)),
                                                     process);
}

uint32_t TestEnvironment::AnotherLivingProcess() {
  const uint32_t parent = platform::GetParentProcessId();
  if (parent != 0 && platform::IsProcessAlive(parent)) return parent;
  const uint32_t self = platform::GetCurrentProcessId();
  for (const uint32_t process : platform::EnumerateProcesses()) {
    if (process != 0 && process != self && platform::IsProcessAlive(process)) return process;
  }
  return 0;
}

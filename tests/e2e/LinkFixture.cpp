#include "tests/e2e/LinkFixture.h"

#include <chrono>
#include <fstream>
#include <thread>

#include "platform/ChildProcess.h"
#include "platform/ProcessList.h"
#include "platform/TextConversion.h"
#include "tests/e2e/MirroredDrawing.h"

namespace fs = std::filesystem;

void LinkFixture::SetUp() {
  TestEnvironment::SetUp();
  document_ = scratch() / "house.vwx";
  const CommandResult installed = RunCommand(Program("Ombrel.exe") + " --install " + (scratch() / "ombrel").string());
  ASSERT_EQ(installed.status, 0) << installed.output;
  // A renderer of the test's own runs beside the host; should the plug-in still ask whether to
  // start one, the answer is no, so that no second renderer holds the host's output open.
  Write("answers.txt", "message no\n");
}

void LinkFixture::TearDown() {
  const std::string installed = (scratch() / "ombrel" / "Ombrel.exe").string();
  for (const uint32_t process : platform::EnumerateProcesses()) {
    const auto image = platform::GetProcessImagePath(process);
    if (image && platform::Utf8FromUtf16(*image) == installed) platform::RequestProcessStop(process);
  }
  TestEnvironment::TearDown();
}

std::string LinkFixture::Program(const std::string& name) { return (binaryDirectory() / name).string(); }

fs::path LinkFixture::Write(const std::string& name, const std::string& text) {
  const fs::path path = scratch() / name;
  std::ofstream(path) << text;
  return path;
}

std::unique_ptr<BackgroundProcess> LinkFixture::StartRenderer(const std::string& options, const fs::path& history,
                                                              const std::string& environment, RendererOutput output) {
  // Its output goes to a file: a line per surface and update would fill a pipe that nobody reads
  // (a few kilobytes on Windows), and a renderer blocked on it reads no link any more.
  const fs::path file = scratch() / ("renderer-" + std::to_string(++renderers_) + ".txt");
  // env execs the renderer in its own place, so the process id is the renderer's.
  const std::string command = "env " + environment + " " + Program("Ombrel.exe") + " --seconds 600 --history " +
                              (history.empty() ? historyPath() : history).string() + " " + options;
  if (output == RendererOutput::kRead) {
    auto renderer = std::make_unique<BackgroundProcess>(command);
    EXPECT_NE(renderer->ReadLine().find("is waiting for TideLink"), std::string::npos);
    return renderer;
  }
  auto renderer = std::make_unique<BackgroundProcess>(command + " > " + file.string());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (ReadFile(file).find("is waiting for TideLink") == std::string::npos && !renderer->HasEnded() &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_NE(ReadFile(file).find("is waiting for TideLink"), std::string::npos) << ReadFile(file);
  return renderer;
}

std::string LinkFixture::LinkCommandLine(const std::string& options, const fs::path& expected) const {
  return Program("tidelink-host") + " link --timeout 120 --ui-script " + (scratch() / "answers.txt").string() +
         " --expected-states " + (expected.empty() ? expectedPath() : expected).string() + " " + options;
}

void LinkFixture::ExpectMirroredInOrder() {
  EXPECT_EQ(UnmirroredSteps(ReadJsonLines(expectedPath()), ReadJsonLines(historyPath())), "");
}

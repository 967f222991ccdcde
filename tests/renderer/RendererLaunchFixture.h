#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/MessageWindow.h"
#include "platform/ProcessLaunch.h"
#include "platform/ProcessList.h"
#include "platform/TextConversion.h"
#include "tests/support/TestEnvironment.h"
#include "transport/TideLinkDocumentManager.h"

// The stand-in renderer installed into scratch folders through its own command line, and waits
// for the window of the one that was launched.
class RendererLaunchFixture : public TestEnvironment {
protected:
  using Clock = std::chrono::steady_clock;

  static std::string Quoted(const std::filesystem::path& path) {
    std::string quoted(1, '\'');
    quoted += path.string();
    quoted += '\'';
    return quoted;
  }
  // Installs the stand-in renderer into `folder` through its own command line.
  static void Install(const std::filesystem::path& folder, const std::string& version) {
    const CommandResult result = RunCommand(Quoted(binaryDirectory() / "Ombrel.exe") + " --install " + Quoted(folder) +
                                            " --version " + version);
    ASSERT_EQ(result.status, 0) << result.output;
  }
  static std::u16string Location(const std::filesystem::path& folder) {
    return platform::Utf16FromUtf8(folder.string() + "/");
  }
  // The renderer window that came up, waiting for it at most ten seconds.
  static platform::WindowHandle WaitForRendererWindow() {
    for (const auto deadline = Clock::now() + std::chrono::seconds(10); Clock::now() < deadline;) {
      const auto windows = TideLinkDocumentManager::Instance().FindRendererWindows();
      if (!windows.empty()) return windows[0];
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
  }
  static bool WaitUntilGone(uint32_t processId) {
    for (const auto deadline = Clock::now() + std::chrono::seconds(10); Clock::now() < deadline;) {
      if (!platform::IsProcessAlive(processId)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  // Stops a renderer that should not have been started, so that a failing test leaves nothing.
  static void ExpectNoRendererStarted() {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (const platform::WindowHandle window : TideLinkDocumentManager::Instance().FindRendererWindows()) {
      const auto attributes = platform::GetWindowAttributes(window);
      if (attributes) platform::RequestProcessStop(attributes->processId);
      ADD_FAILURE() << "a renderer was started";
    }
  }
};

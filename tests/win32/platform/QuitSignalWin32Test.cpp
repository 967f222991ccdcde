// A close message to the program's window is a request to quit, as Ctrl-C is at its console.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>

#include "platform/ChildProcess.h"
#include "platform/QuitSignal.h"
#include "tests/support/TestEnvironment.h"
#include "tests/win32/platform/SelfProcess.h"

namespace {

using namespace std::chrono_literals;

// The other process: watches, says so, and quits its own way once asked.
TEST(QuitSignalWin32Child, DISABLED_QuitWhenAsked) {
  ASSERT_TRUE(platform::WatchQuitRequests());
  std::printf("pending:%s\n", platform::PendingQuitRequest() ? "yes" : "no");
  std::fflush(stdout);
  std::optional<platform::QuitRequest> request;
  while (!(request = platform::PendingQuitRequest())) Sleep(1);
  std::printf("request:%s\n", request->name.c_str());
  std::fflush(stdout);
  std::exit(request->exitStatus);
}

class QuitSignalWin32Test : public TestEnvironment {};

TEST_F(QuitSignalWin32Test, ACloseMessageIsARequestToTerminate) {
  platform::ChildProcess child;
  ASSERT_TRUE(StartSelf("QuitSignalWin32Child.DISABLED_QuitWhenAsked", {}, child));
  ASSERT_EQ(ReadLineStartingWith(child, "pending:"), "no");
  ASSERT_TRUE(platform::RequestProcessStop(child.processId())) << "the watching program has a window to ask";
  EXPECT_EQ(ReadLineStartingWith(child, "request:"), "terminate");
  EXPECT_EQ(child.Wait(60s), static_cast<int>(STATUS_CONTROL_C_EXIT));
}

}  // namespace

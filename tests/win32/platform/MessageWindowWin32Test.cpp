// Message windows as real Windows windows: seen and reached from another process, kept apart by
// the runtime folder, and a close sent by the system arriving as a message.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/ChildProcess.h"
#include "platform/MessageWindow.h"
#include "platform/ProcessList.h"
#include "tests/support/TestEnvironment.h"
#include "tests/win32/platform/SelfProcess.h"

namespace {

using namespace std::chrono_literals;
using platform::MessageWindow;
using platform::WindowAttributes;

WindowAttributes Attributes(std::u16string className, std::u16string title) {
  WindowAttributes attributes;
  attributes.className = std::move(className);
  attributes.title = std::move(title);
  attributes.visible = true;
  return attributes;
}

class MessageWindowWin32Test : public TestEnvironment {};

// The other process: opens a window, says its handle, and prints each message until a close.
TEST(MessageWindowWin32Child, DISABLED_ServeWindow) {
  MessageWindow window;
  ASSERT_TRUE(MessageWindow::Create(Attributes(u"OmbrelStartWindow", u"Ombrel 12.0 \u00e9"), window));
  std::printf("window:%llu\n", static_cast<unsigned long long>(window.handle()));
  std::fflush(stdout);
  for (;;) {
    const auto message = window.Receive(60s);
    ASSERT_TRUE(message);
    std::printf("message:%x %llu %lld\n", message->message, static_cast<unsigned long long>(message->wParam),
                static_cast<long long>(message->lParam));
    std::fflush(stdout);
    if (message->message == platform::kCloseMessage) return;
  }
}

TEST_F(MessageWindowWin32Test, AnotherProcesssWindowIsFoundByClassAndTitleAndGetsThePostedMessage) {
  platform::ChildProcess child;
  ASSERT_TRUE(StartSelf("MessageWindowWin32Child.DISABLED_ServeWindow", {}, child));
  const platform::WindowHandle handle = std::stoull(ReadLineStartingWith(child, "window:"));

  const auto windows = platform::EnumerateWindows();
  ASSERT_EQ(windows, std::vector<platform::WindowHandle>{handle});
  const auto attributes = platform::GetWindowAttributes(handle);
  ASSERT_TRUE(attributes);
  EXPECT_EQ(attributes->processId, child.processId());
  EXPECT_EQ(attributes->className, u"OmbrelStartWindow") << "the isolating suffix must not show";
  EXPECT_EQ(attributes->title, u"Ombrel 12.0 \u00e9");
  EXPECT_TRUE(attributes->visible);
  EXPECT_EQ(attributes->owner, 0u);
  EXPECT_EQ(platform::GetProcessImagePath(child.processId()),
            platform::GetProcessImagePath(platform::GetCurrentProcessId()));

  ASSERT_TRUE(platform::PostWindowMessage(handle, {0x8729, 0xfffffffffull, -9}));
  EXPECT_EQ(ReadLineStartingWith(child, "message:"), "8729 68719476735 -9") << "wParam and lParam keep 64 bits";
  EXPECT_FALSE(child.Wait(0ms)) << "it still serves its window";

  ASSERT_TRUE(platform::RequestProcessStop(child.processId()));
  EXPECT_EQ(ReadLineStartingWith(child, "message:"), "10 0 0");
  EXPECT_EQ(child.Wait(60s), 0);
  EXPECT_FALSE(platform::IsWindow(handle)) << "a window of an ended process is not a window";
  EXPECT_FALSE(platform::RequestProcessStop(child.processId())) << "no window is left to ask";
}

TEST_F(MessageWindowWin32Test, WindowsOfAnotherRuntimeFolderAreNeitherListedNorReached) {
  MessageWindow other;
  ASSERT_TRUE(MessageWindow::Create(Attributes(u"OmbrelStartWindow", u"other"), other));
  const ScopedEnvironment elsewhere("TIDELINK_RUNTIME_DIR", (scratch() / "elsewhere").string());
  MessageWindow own;
  ASSERT_TRUE(MessageWindow::Create(Attributes(u"OmbrelStartWindow", u"own"), own));

  EXPECT_EQ(platform::EnumerateWindows(), std::vector<platform::WindowHandle>{own.handle()});
  EXPECT_FALSE(platform::GetWindowAttributes(other.handle()));
  EXPECT_FALSE(platform::IsWindow(other.handle()));
  EXPECT_FALSE(platform::PostWindowMessage(other.handle(), {0x8729, 1, 2}));
  {
    const ScopedEnvironment unset("TIDELINK_RUNTIME_DIR", std::nullopt);
    for (const platform::WindowHandle window : platform::EnumerateWindows()) {
      EXPECT_NE(window, own.handle()) << "a test's window showed among the user's";
      EXPECT_NE(window, other.handle()) << "a test's window showed among the user's";
    }
  }
}

TEST_F(MessageWindowWin32Test, ACloseSentByTheSystemArrivesAsAMessageAndLeavesTheWindow) {
  MessageWindow window;
  ASSERT_TRUE(MessageWindow::Create(Attributes(u"OmbrelStartWindow", u"Ombrel"), window));
  const HWND handle = reinterpret_cast<HWND>(static_cast<uintptr_t>(window.handle()));
  // Sent, not posted, as a click on the close button does: the sender waits until Receive runs it.
  std::thread sender([handle] { SendMessageW(handle, WM_CLOSE, 0, 0); });
  const auto message = window.Receive(60s);
  sender.join();
  ASSERT_TRUE(message);
  EXPECT_EQ(message->message, platform::kCloseMessage);
  EXPECT_TRUE(platform::IsWindow(window.handle())) << "the owner decides whether to close";
}

TEST_F(MessageWindowWin32Test, AnOwnedWindowNamesItsOwnerAndAHiddenOneIsNotVisible) {
  MessageWindow owner, dialog;
  ASSERT_TRUE(MessageWindow::Create(Attributes(u"Ombrel", u"main"), owner));
  WindowAttributes attributes = Attributes(u"Dialog", u"Progress");
  attributes.owner = owner.handle();
  attributes.visible = false;
  ASSERT_TRUE(MessageWindow::Create(attributes, dialog));
  const auto read = platform::GetWindowAttributes(dialog.handle());
  ASSERT_TRUE(read);
  EXPECT_EQ(read->owner, owner.handle());
  EXPECT_FALSE(read->visible);
  EXPECT_TRUE(platform::GetWindowAttributes(owner.handle())->visible);
}

}  // namespace

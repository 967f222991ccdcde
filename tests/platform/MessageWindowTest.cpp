#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/MessageWindow.h"
#include "platform/ProcessList.h"
#include "tests/support/TestEnvironment.h"

namespace {

using namespace std::chrono_literals;
using platform::MessageWindow;
using platform::WindowAttributes;

class MessageWindowTest : public TestEnvironment {
protected:
  static WindowAttributes Attributes(std::u16string className, bool visible = true, platform::WindowHandle owner = 0) {
    WindowAttributes attributes;
    attributes.className = std::move(className);
    attributes.title = u"Ombrel 12.0";
    attributes.visible = visible;
    attributes.owner = owner;
    return attributes;
  }
};

TEST_F(MessageWindowTest, WindowsAreListedInCreationOrderWithTheirAttributes) {
  MessageWindow first, second, third;
  ASSERT_TRUE(MessageWindow::Create(Attributes(u"OmbrelStartWindow"), first));
  ASSERT_TRUE(MessageWindow::Create(Attributes(u"Hidden\nline", false), second));
  ASSERT_TRUE(MessageWindow::Create(Attributes(u"Dialog", true, first.handle()), third));

  EXPECT_EQ(platform::EnumerateWindows(),
            (std::vector<platform::WindowHandle>{first.handle(), second.handle(), third.handle()}));
  const auto attributes = platform::GetWindowAttributes(second.handle());
  ASSERT_TRUE(attributes);
  EXPECT_EQ(attributes->processId, platform::GetCurrentProcessId());
  EXPECT_EQ(attributes->className, u"Hidden\nline");
  EXPECT_EQ(attributes->title, u"Ombrel 12.0");
  EXPECT_FALSE(attributes->visible);
  EXPECT_EQ(platform::GetWindowAttributes(third.handle())->owner, first.handle());

  second.Destroy();
  EXPECT_FALSE(platform::IsWindow(second.handle()));
  EXPECT_EQ(platform::EnumerateWindows().size(), 2u);
}

TEST_F(MessageWindowTest, WindowsLiveOnlyInAFolderOfTheUsersAloneAndAreTheirsAlone) {
  const std::filesystem::path runtime = scratch() / "runtime";
  MessageWindow window;
  ASSERT_TRUE(MessageWindow::Create(Attributes(u"OmbrelStartWindow"), window));
  struct stat folder {};
  ASSERT_EQ(stat(runtime.c_str(), &folder), 0);
  EXPECT_EQ(folder.st_mode & 0777, 0700u);
  for (const auto& entry : std::filesystem::directory_iterator(runtime)) {
    struct stat file {};
    ASSERT_EQ(lstat(entry.path().c_str(), &file), 0);
    EXPECT_EQ(file.st_mode & 0777, 0600u) << entry.path();
  }

  // A folder another user could write to, as one made first by somebody else would be.
  ASSERT_EQ(chmod(runtime.c_str(), 0777), 0);
  MessageWindow refused;
  EXPECT_FALSE(MessageWindow::Create(Attributes(u"OmbrelStartWindow"), refused));
  EXPECT_TRUE(platform::EnumerateWindows().empty());
  EXPECT_NE(ReadFile(debugLogPath()).find(runtime.string()), std::string::npos) << "the log says why";
  ASSERT_EQ(chmod(runtime.c_str(), 0700), 0);
  EXPECT_EQ(platform::EnumerateWindows(), std::vector<platform::WindowHandle>{window.handle()});
}

TEST_F(MessageWindowTest, PostedMessagesArriveInOrderAndReceiveTimesOut) {
  MessageWindow window;
  ASSERT_TRUE(MessageWindow::Create(Attributes(u"START"), window));
  EXPECT_TRUE(platform::PostWindowMessage(window.handle(), {0x8729, 1, -2}));
  EXPECT_TRUE(platform::PostWindowMessage(window.handle(), {0x8729, 3, 4}));
  const auto first = window.Receive(1000ms);
  const auto second = window.Receive(1000ms);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->message, 0x8729u);
  EXPECT_EQ(first->wParam, 1u);
  EXPECT_EQ(first->lParam, -2);
  EXPECT_EQ(second->wParam, 3u);
  EXPECT_FALSE(window.Receive(20ms));
}

TEST_F(MessageWindowTest, PostingNeverBlocksAndFailsWhenTheQueueIsFullOrTheWindowGone) {
  MessageWindow window;
  ASSERT_TRUE(MessageWindow::Create(Attributes(u"START"), window));
  int posted = 0;
  while (posted < 100000 && platform::PostWindowMessage(window.handle(), {1, 0, 0})) ++posted;
  EXPECT_LT(posted, 100000) << "an unread queue must fill up and refuse, not block";
  const platform::WindowHandle handle = window.handle();
  window.Destroy();
  EXPECT_FALSE(platform::PostWindowMessage(handle, {1, 0, 0}));
  EXPECT_FALSE(platform::PostWindowMessage(0, {1, 0, 0}));
}

TEST_F(MessageWindowTest, AnotherProcessCanPostAndAWindowOfADeadProcessIsNoWindow) {
  MessageWindow window;
  ASSERT_TRUE(MessageWindow::Create(Attributes(u"START"), window));
  const pid_t poster = fork();
  if (poster == 0) _exit(platform::PostWindowMessage(window.handle(), {7, 8, 9}) ? 0 : 1);
  int status = 0;
  waitpid(poster, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const auto received = window.Receive(1000ms);
  ASSERT_TRUE(received);
  EXPECT_EQ(received->message, 7u);

  int handlePipe[2];
  ASSERT_EQ(pipe(handlePipe), 0);
  const pid_t crashing = fork();
  if (crashing == 0) {
    MessageWindow orphan;
    platform::WindowHandle handle = 0;
    if (MessageWindow::Create(Attributes(u"START"), orphan)) handle = orphan.handle();
    [[maybe_unused]] auto written = write(handlePipe[1], &handle, sizeof(handle));
    _exit(0);  // no destructor runs: the window is left behind as after a crash
  }
  platform::WindowHandle orphanHandle = 0;
  ASSERT_EQ(read(handlePipe[0], &orphanHandle, sizeof(orphanHandle)), static_cast<ssize_t>(sizeof(orphanHandle)));
  waitpid(crashing, &status, 0);
  ASSERT_NE(orphanHandle, 0u);
  EXPECT_FALSE(platform::IsWindow(orphanHandle));
  EXPECT_FALSE(platform::PostWindowMessage(orphanHandle, {1, 0, 0}));
  EXPECT_EQ(platform::EnumerateWindows(), std::vector<platform::WindowHandle>{window.handle()});
  close(handlePipe[0]);
  close(handlePipe[1]);
}

}  // namespace

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/MessageWindow.h"
#include "platform/ProcessList.h"
#include "tests/platform/MessageWindowFixture.h"

namespace {

using namespace std::chrono_literals;
using platform::MessageWindow;

class MessageWindowPosixTest : public MessageWindowFixture {};

TEST_F(MessageWindowPosixTest, WindowsLiveOnlyInAFolderOfTheUsersAloneAndAreTheirsAlone) {
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

TEST_F(MessageWindowPosixTest, AnotherProcessCanPostAndAWindowOfADeadProcessIsNoWindow) {
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

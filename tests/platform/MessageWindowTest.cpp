#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "platform/MessageWindow.h"
#include "platform/ProcessList.h"
#include "tests/platform/MessageWindowFixture.h"

namespace {

using namespace std::chrono_literals;
using platform::MessageWindow;

class MessageWindowTest : public MessageWindowFixture {};

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

}  // namespace

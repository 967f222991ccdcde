#include <gtest/gtest.h>

#include "ui/MessageHook.h"

namespace {

using ui::MessageHook;
using ui::WindowEvent;

const ui::Picture kIcon{u"/module/icon_110.ico", {16, 16}, {16, 16}};

TEST(MessageHookTest, WithoutALoadedIconEveryEventPassesOnAndNoCaptionGetsTheIcon) {
  const MessageHook hook(nullptr);
  for (const WindowEvent event : {WindowEvent::Activate, WindowEvent::Other}) {
    const ui::HookAnswer answer = hook.OnWindowEvent(event, u"Ombrel TideLink - Export complete");
    EXPECT_TRUE(answer.passOn);
    EXPECT_EQ(answer.smallIcon, nullptr);
  }
}

TEST(MessageHookTest, ActivatedWindowsWithTheProductWordsGetTheIconAndActivationsStopHere) {
  const MessageHook hook(&kIcon);
  const ui::HookAnswer ours = hook.OnWindowEvent(WindowEvent::Activate, u"About Ombrel TideLink settings");
  EXPECT_EQ(ours.smallIcon, &kIcon);
  EXPECT_FALSE(ours.passOn);

  const ui::HookAnswer other = hook.OnWindowEvent(WindowEvent::Activate, u"Ombrel - TideLink");
  EXPECT_EQ(other.smallIcon, nullptr);
  EXPECT_FALSE(other.passOn);

  EXPECT_TRUE(hook.OnWindowEvent(WindowEvent::Other, u"Ombrel TideLink").passOn);
}

TEST(MessageHookTest, OnlyTheCaptionsFirst255UnitsAreSearched) {
  const MessageHook hook(&kIcon);
  const std::u16string within = std::u16string(240, u' ') + u"Ombrel TideLink";    // ends at 255
  const std::u16string beyond = std::u16string(241, u' ') + u"Ombrel TideLink";    // ends at 256
  EXPECT_EQ(hook.OnWindowEvent(WindowEvent::Activate, within).smallIcon, &kIcon);
  EXPECT_EQ(hook.OnWindowEvent(WindowEvent::Activate, beyond).smallIcon, nullptr);
}

}  // namespace

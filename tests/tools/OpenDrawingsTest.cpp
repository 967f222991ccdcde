#include <gtest/gtest.h>

#include "tools/host/OpenDrawings.h"

namespace {

// What the plug-in would see: each notification with the active drawing's name at that moment.
struct Seen {
  uint32_t code;
  std::u16string active;
};

class OpenDrawingsTest : public ::testing::Test {
protected:
  void SetUp() override {
    for (const uint32_t code : {kDocumentChangedCode, kDocumentClosingCode, kDocumentSavedCode}) {
      notifications_.Register(code, &Record, this);
    }
  }
  static void Record(uint32_t code, intptr_t, void* context) {
    auto* self = static_cast<OpenDrawingsTest*>(context);
    self->seen_.push_back({code, self->drawings_.GetActiveDocumentFileName().GetStdUString()});
  }

  NotificationService notifications_;
  OpenDrawings drawings_{notifications_, u"/d/house.vwx"};
  std::vector<Seen> seen_;
};

TEST_F(OpenDrawingsTest, EachChangeIsToldWhenThePlugInCanSeeIt) {
  drawings_.Activate(u"/d/other.vwx");
  drawings_.Activate(u"/d/other.vwx");  // already active: nothing to tell
  ASSERT_TRUE(drawings_.ActivatePrevious());
  ASSERT_TRUE(drawings_.SaveActive(u"/d/house2.vwx"));
  ASSERT_TRUE(drawings_.CloseActive());
  ASSERT_EQ(seen_.size(), 5u);
  EXPECT_EQ(seen_[0].code, kDocumentChangedCode);
  EXPECT_EQ(seen_[0].active, u"/d/other.vwx");
  EXPECT_EQ(seen_[1].active, u"/d/house.vwx");
  // Saved: told once the name is the new one. Closing: told while it is still the active one.
  EXPECT_EQ(seen_[2].code, kDocumentSavedCode);
  EXPECT_EQ(seen_[2].active, u"/d/house2.vwx");
  EXPECT_EQ(seen_[3].code, kDocumentClosingCode);
  EXPECT_EQ(seen_[3].active, u"/d/house2.vwx");
  EXPECT_EQ(seen_[4].code, kDocumentChangedCode);
  EXPECT_EQ(seen_[4].active, u"/d/other.vwx");
  EXPECT_FALSE(drawings_.IsFirstActive());
}

TEST_F(OpenDrawingsTest, TheFirstDrawingIsFollowedThroughOtherDrawingsClosing) {
  drawings_.Activate(u"/d/a.vwx");
  drawings_.Activate(u"/d/b.vwx");
  EXPECT_FALSE(drawings_.IsFirstActive());
  ASSERT_TRUE(drawings_.CloseActive());  // b closes, a (active before it) comes back
  EXPECT_EQ(drawings_.ActiveFileName(), u"/d/a.vwx");
  ASSERT_TRUE(drawings_.CloseActive());  // a closes; the last opened, the house, remains
  EXPECT_TRUE(drawings_.IsFirstActive());
  ASSERT_TRUE(drawings_.CloseActive());
  EXPECT_FALSE(drawings_.ActiveFileName());
  EXPECT_FALSE(drawings_.CloseActive());
  EXPECT_EQ(drawings_.GetActiveDocumentFileName().GetStdUString(), u"");
}

}  // namespace

#include <gtest/gtest.h>

#include "sdk/HostBinding.h"
#include "sdk/ResourceStrings.h"
#include "tests/support/TestHost.h"

namespace {

class ResourceStringsTest : public ::testing::Test {
protected:
  void SetUp() override { HostBinding::Bind(&TestHost::Callback); }
  void TearDown() override { HostBinding::Release(); }
  TestHost host;
};

TEST_F(ResourceStringsTest, TableNamesBecomeResourcePathsByTheirEnding) {
  EXPECT_EQ(StringTablePath(u""), u"");
  EXPECT_EQ(StringTablePath(u"TideLinkTool"), u"OmbrelTideLinkForVectorworks/Strings/TideLinkTool.vwstrings");
  EXPECT_EQ(StringTablePath(u"Other/Place/Table.vwstrings"), u"Other/Place/Table.vwstrings");
  EXPECT_EQ(StringTablePath(u"TideLink*"), u"OmbrelTideLinkForVectorworks/Strings/TideLink*");
  // Only the very end counts.
  EXPECT_EQ(StringTablePath(u"a.vwstrings.bak"), u"OmbrelTideLinkForVectorworks/Strings/a.vwstrings.bak.vwstrings");
  EXPECT_EQ(StringTablePath(u"*x"), u"OmbrelTideLinkForVectorworks/Strings/*x.vwstrings");
}

TEST_F(ResourceStringsTest, LookupAsksTheHostWithPathKeyAndEmptyTextHandling) {
  host.texts[u"tool_title"] = u"Ombrel TideLink";
  EXPECT_EQ(GetResourceString(u"TideLinkTool", u"tool_title"), TXString(u"Ombrel TideLink"));
  EXPECT_EQ(GetResourceString(u"TideLinkMenu", u"menuexport_title", kEmptyTextGivesKey), TXString());
  ASSERT_EQ(host.lookups.size(), 2u);
  EXPECT_EQ(host.lookups[0].resource, u"OmbrelTideLinkForVectorworks/Strings/TideLinkTool.vwstrings");
  EXPECT_EQ(host.lookups[0].key, u"tool_title");
  EXPECT_EQ(host.lookups[0].emptyHandling, 2);
  EXPECT_EQ(host.lookups[1].emptyHandling, 1);
  EXPECT_EQ(host.heldReferences(), 1) << "the resource service is released after each lookup";
}

TEST_F(ResourceStringsTest, AnEmptyTableOrAMissingServiceGivesEmptyTextWithoutALookup) {
  EXPECT_TRUE(GetResourceString(u"", u"tool_title").IsEmpty());
  host.offerResources = false;
  EXPECT_TRUE(GetResourceString(u"TideLinkTool", u"tool_title").IsEmpty());
  EXPECT_TRUE(host.lookups.empty());
}

TEST_F(ResourceStringsTest, ImagesLieInThePluginsImageFolder) {
  EXPECT_EQ(ImagePath(u"about.png"), u"OmbrelTideLinkForVectorworks/Images/about.png");
}

}  // namespace

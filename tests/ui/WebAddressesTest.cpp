#include <gtest/gtest.h>

#include "sdk/HostBinding.h"
#include "tests/support/TestHost.h"
#include "ui/WebAddresses.h"

namespace {

using ui::QueryEncode;

TEST(QueryEncodeTest, KeepsOnlyAsciiLettersAndDigits) {
  EXPECT_EQ(QueryEncode(u"AZaz09"), u"AZaz09");
  EXPECT_EQ(QueryEncode(u"a b"), u"a%20b");
  EXPECT_EQ(QueryEncode(u"-._~/?&="), u"%2d%2e%5f%7e%2f%3f%26%3d");
}

TEST(QueryEncodeTest, WritesOtherUnitsAsLowerCaseUtf8Bytes) {
  EXPECT_EQ(QueryEncode(u"\u00E9"), u"%c3%a9");         // two bytes up to 0x7FF
  EXPECT_EQ(QueryEncode(u"\u07FF"), u"%df%bf");
  EXPECT_EQ(QueryEncode(u"\u0800\u20AC"), u"%e0%a0%80%e2%82%ac");
}

TEST(QueryEncodeTest, EncodesEachHalfOfASurrogatePairOnItsOwn) {
  // U+1F600 is D83D DE00: each half becomes three bytes, not the pair's four.
  EXPECT_EQ(QueryEncode(u"\U0001F600"), u"%ed%a0%bd%ed%b8%80");
  EXPECT_EQ(QueryEncode(std::u16string(1, char16_t(0xDC00))), u"%ed%b0%80");
}

class WebAddressesTest : public ::testing::Test {
protected:
  void SetUp() override { HostBinding::Bind(&TestHost::Callback); }
  void TearDown() override { HostBinding::Release(); }
  TestHost host;
};

TEST_F(WebAddressesTest, QueryNamesHostProductPluginVersionAndCampaign) {
  ui::WebAddresses addresses;
  const std::u16string query =
      u"?utm_source=25%2e1%2e2%20%28test%29&utm_medium=3%2e60%2e92&utm_campaign=Vectorworks%20TideLink";
  EXPECT_EQ(addresses.Query(), query);
  EXPECT_EQ(addresses.RootAddress(), u"https://www.ombrel.com" + query);
  EXPECT_EQ(addresses.SupportAddress(), u"https://www.ombrel.com/support.html" + query);
  EXPECT_EQ(addresses.DownloadAddress(), u"https://www.ombrel.com/vectorworks-exporters.html" + query);
  EXPECT_EQ(ui::SupportPageText(), u"www.ombrel.com/support.html");
  EXPECT_EQ(ui::DownloadPageText(), u"www.ombrel.com/vectorworks-exporters.html");
}

TEST_F(WebAddressesTest, QueryIsWorkedOutOnceAndKeepsNoHostReference) {
  ui::WebAddresses addresses;
  const std::u16string first = addresses.SupportAddress();
  host.versionTexts[0] = u"26.0";
  EXPECT_EQ(addresses.SupportAddress(), first);
  EXPECT_EQ(addresses.Query().find(u"26"), std::u16string::npos);
  EXPECT_EQ(host.heldReferences(), 1) << "only the binding's own SDK reference";
}

TEST_F(WebAddressesTest, HostWithoutSdkGivesAnEmptyProduct) {
  host.offerSdk = false;
  HostBinding::Bind(&TestHost::Callback);
  ui::WebAddresses addresses;
  EXPECT_EQ(addresses.Query().substr(0, 16), u"?utm_source=%20&");
}

}  // namespace

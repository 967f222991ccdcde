#include "ui/WebAddresses.h"

#include "platform/PercentEncoding.h"
#include "sdk/HostBinding.h"
#include "sdk/PluginIdentity.h"

namespace ui {
namespace {

constexpr std::u16string_view kSupportPath = u"/support.html";
constexpr std::u16string_view kDownloadPath = u"/vectorworks-exporters.html";
constexpr std::u16string_view kCampaign = u"Vectorworks TideLink";

bool KeptAsItIs(char16_t unit) {
  return (unit >= u'A' && unit <= u'Z') || (unit >= u'a' && unit <= u'z') || (unit >= u'0' && unit <= u'9');
}

// The host's product text: its two version texts joined by a space, in the order it gives them.
std::u16string HostProductText() {
  TXString first, second;
  if (auto sdk = HostBinding::Query<ISDK>(IID_SDK)) sdk->GetVersionTexts(first, second);
  return first.GetStdUString() + u" " + second.GetStdUString();
}

}  // namespace

std::u16string SupportPageText() { return std::u16string(kMakerSiteHost) + std::u16string(kSupportPath); }
std::u16string DownloadPageText() { return std::u16string(kMakerSiteHost) + std::u16string(kDownloadPath); }

std::u16string QueryEncode(std::u16string_view text) {
  std::u16string encoded;
  encoded.reserve(text.size() * 3);
  for (const char16_t unit : text) {
    if (KeptAsItIs(unit)) {
      encoded += unit;
    } else {
      platform::AppendPercentEncodedUnit(encoded, unit);
    }
  }
  return encoded;
}

const std::u16string& WebAddresses::Query() {
  std::call_once(built_, &WebAddresses::Build, this);
  return query_;
}

const std::u16string& WebAddresses::RootAddress() {
  std::call_once(built_, &WebAddresses::Build, this);
  return root_;
}

const std::u16string& WebAddresses::SupportAddress() {
  std::call_once(built_, &WebAddresses::Build, this);
  return support_;
}

const std::u16string& WebAddresses::DownloadAddress() {
  std::call_once(built_, &WebAddresses::Build, this);
  return download_;
}

void WebAddresses::Build() {
  query_ = u"?utm_source=" + QueryEncode(HostProductText()) + u"&utm_medium=" + QueryEncode(kPluginVersion) +
           u"&utm_campaign=" + QueryEncode(kCampaign);
  const std::u16string site(kMakerSiteAddress);
  root_ = site + query_;
  support_ = site + std::u16string(kSupportPath) + query_;
  download_ = site + std::u16string(kDownloadPath) + query_;
}

}  // namespace ui

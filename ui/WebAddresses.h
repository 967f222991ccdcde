#pragma once

#include <mutex>
#include <string>
#include <string_view>

// The maker's web site and the three addresses the plug-in opens, each carrying a query that
// names the host and the plug-in version.
namespace ui {

inline constexpr std::u16string_view kMakerSiteHost = u"www.ombrel.com";
// The site's home page, without path or query.
inline constexpr std::u16string_view kMakerSiteAddress = u"https://www.ombrel.com";
static_assert(kMakerSiteAddress.ends_with(kMakerSiteHost));

// "<site host>/support.html" and "<site host>/vectorworks-exporters.html": the two pages as the
// About dialog shows them, without scheme or query.
std::u16string SupportPageText();
std::u16string DownloadPageText();

// Keeps ASCII letters and digits; writes every other UTF-16 unit as its UTF-8 bytes, each byte as
// "%" and two lower-case hex digits. Each half of a surrogate pair is encoded on its own, as a
// three-byte sequence, which is what the site's statistics expect.
std::u16string QueryEncode(std::u16string_view text);

// The query and addresses, worked out from the host's version texts on first use and kept for the
// life of the object, so that a host version change while it lives is not seen. Safe from any
// thread; needs a bound host (without its SDK object the version texts are empty).
class WebAddresses {
public:
  // "?utm_source=<host product>&utm_medium=<plug-in version>&utm_campaign=Vectorworks%20TideLink"
  const std::u16string& Query();
  const std::u16string& RootAddress();      // site address + query
  const std::u16string& SupportAddress();   // site address + "/support.html" + query
  const std::u16string& DownloadAddress();  // site address + "/vectorworks-exporters.html" + query

private:
  void Build();

  std::once_flag built_;
  std::u16string query_;
  std::u16string root_;
  std::u16string support_;
  std::u16string download_;
};

}  // namespace ui

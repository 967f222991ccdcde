#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "renderer/UninstallEntries.h"
#include "tests/renderer/RendererTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace {

class UninstallEntriesTest : public TestEnvironment {
protected:
  // DisplayVersion texts of the entries visited, in order.
  static std::vector<std::u16string> Visited() {
    std::vector<std::u16string> versions;
    ForEachRendererEntry([&](const platform::RegistryKey& entry, const RendererVersion&) {
      versions.push_back(ReadStringValue(entry, u"DisplayVersion"));
      return true;
    });
    return versions;
  }
};

using Texts = std::vector<std::u16string>;

TEST_F(UninstallEntriesTest, OnlyEntriesNamingTheFullRendererAreVisited) {
  AddUninstallEntry(u"Ombrel 12", u"Ombrel 12", u"12.0.1.157");
  AddUninstallEntry(u"A", u"Ombrel 11 Trial", u"11.1");
  AddUninstallEntry(u"B", u"OMBREL VIEWER 12", u"12.2");
  AddUninstallEntry(u"C", u"ombrel trial", u"12.3");
  AddUninstallEntry(u"D", u"Ombrel Viewer", u"12.4");
  AddUninstallEntry(u"E", u"Omb rel", u"12.5");
  AddUninstallEntry(u"F", nullptr, u"12.6");
  AddUninstallEntry(u"Z", u"my ombrel", u"9.0");  // after the first by name too, as Windows lists them
  platform::RegistryKey perUser;
  ASSERT_EQ(platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser,
                                          u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ombrel 13", perUser),
            0);
  const std::u16string name = u"Ombrel 13";
  ASSERT_EQ(perUser.SetValue(u"DisplayName", platform::kRegistryString, name.c_str(), static_cast<uint32_t>(name.size() * 2)), 0);
  EXPECT_EQ(Visited(), (Texts{u"12.0.1.157", u"9.0"})) << "in order, and from the machine-wide list only";
}

TEST_F(UninstallEntriesTest, TheFilterWordsAreMatchedInAsciiUpperCaseOnly) {
  // Full case mapping would turn the dotless i into I and the long s into S.
  AddUninstallEntry(u"A", u"Ombrel V\u0131ewer", u"1.0");
  AddUninstallEntry(u"B", u"Ombrel Trial", u"2.0");
  AddUninstallEntry(u"C", u"Ombrel Tr\u0131al", u"3.0");
  EXPECT_EQ(Visited(), (Texts{u"1.0", u"3.0"}));
  EXPECT_EQ(UpperCaseAscii(u"a\u00e9z\u0131{"), u"A\u00e9Z\u0131{");
}

TEST_F(UninstallEntriesTest, StringValuesAreReadThroughA1024ByteBuffer) {
  platform::RegistryKey key;
  ASSERT_EQ(platform::RegistryKey::Create(platform::RegistryRoot::LocalMachine, u"Test", key), 0);
  const auto set = [&](const char16_t* name, uint32_t type, const std::u16string& data) {
    ASSERT_EQ(key.SetValue(name, type, data.data(), static_cast<uint32_t>(data.size() * 2)), 0);
  };
  // Exactly the buffer with no room for a terminating zero: every unit counts, nothing beyond.
  // Windows stores a zero that follows the counted units along with them, so none follows here.
  const std::u16string full = std::u16string(511, u'7') + u"8#";
  ASSERT_EQ(key.SetValue(u"Full", platform::kRegistryString, full.data(), 1024), 0);
  set(u"TooLong", platform::kRegistryString, std::u16string(513, u'7'));
  set(u"Inner", platform::kRegistryString, std::u16string(u"12.0\0junk", 9));
  set(u"Number", platform::kRegistryDword, u"12");
  EXPECT_EQ(ReadStringValue(key, u"Full"), std::u16string(511, u'7') + u'8');
  EXPECT_EQ(ReadStringValue(key, u"TooLong"), u"") << "a value that does not fit is absent, not cut";
  EXPECT_EQ(ReadStringValue(key, u"Inner"), u"12.0");
  EXPECT_EQ(ReadStringValue(key, u"Number"), u"") << "a value of another type is no text";
  EXPECT_EQ(ReadStringValue(key, u"Missing"), u"");
}

}  // namespace

#include "platform/Registry.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "tests/platform/RegistryFixture.h"

namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

class RegistryTest : public RegistryFixture {};

TEST_F(RegistryTest, KeyPathsAndValueNamesCompareCaseInsensitivelyUnitByUnit) {
  RegistryKey created = CreateKey(kUser, u"Software\\\u00C4rger");
  ASSERT_EQ(SetDword(created, u"Stra\u00DFe\\One.vwx", 1), platform::kErrorSuccess);
  RegistryKey opened;
  ASSERT_EQ(RegistryKey::Open(kUser, u"SOFTWARE\\\u00E4RGER", opened), platform::kErrorSuccess);
  EXPECT_EQ(QueryDword(opened, u"STRA\u00DFE\\one.VWX"), 1u);
  EXPECT_EQ(QueryDword(opened, u"STRASSE\\one.vwx"), std::nullopt);  // one unit folds to one
  // A write under another case replaces the value; the name stays as first written.
  ASSERT_EQ(SetDword(opened, u"stra\u00DFe\\ONE.vwx", 7), platform::kErrorSuccess);
  EXPECT_EQ(QueryDword(created, u"Stra\u00DFe\\One.vwx"), 7u);
  EXPECT_EQ(EnumNames(opened), Names{u"Stra\u00DFe\\One.vwx"});
}

TEST_F(RegistryTest, ValuesKeepTypeSizeAndBytes) {
  RegistryKey key = CreateKey();
  const uint32_t dword = 0xDEADBEEF;
  const char16_t text[] = u"C:\\Ombrel";  // stored with its terminating zero
  const uint8_t binary[] = {0, 1, 0, 255, 0};
  ASSERT_EQ(key.SetValue(u"Dword", platform::kRegistryDword, &dword, 4), 0);
  ASSERT_EQ(key.SetValue(u"Text", platform::kRegistryString, text, sizeof(text)), 0);
  ASSERT_EQ(key.SetValue(u"lone \xD800", platform::kRegistryBinary, binary, 5), 0);
  ASSERT_EQ(key.SetValue(u"", platform::kRegistryBinary, nullptr, 0), 0);
  const auto expect = [&](std::u16string_view name, uint32_t type, const void* data,
                          uint32_t size) {
    uint8_t buffer[64];
    uint32_t gotType = 0;
    uint32_t gotSize = sizeof(buffer);
    ASSERT_EQ(key.QueryValue(name, &gotType, buffer, &gotSize), platform::kErrorSuccess);
    EXPECT_EQ(gotType, type);
    ASSERT_EQ(gotSize, size);
    EXPECT_TRUE(size == 0 || std::memcmp(buffer, data, size) == 0);
    gotSize = 0;  // the size alone, without a buffer
    ASSERT_EQ(key.QueryValue(name, nullptr, nullptr, &gotSize), platform::kErrorSuccess);
    EXPECT_EQ(gotSize, size);
  };
  expect(u"Dword", platform::kRegistryDword, &dword, 4);
  expect(u"Text", platform::kRegistryString, text, sizeof(text));
  expect(u"lone \xD800", platform::kRegistryBinary, binary, 5);
  expect(u"", platform::kRegistryBinary, nullptr, 0);
  EXPECT_EQ(EnumNames(key), (Names{u"", u"Dword", u"Text", u"lone \xD800"}));
}

TEST_F(RegistryTest, TooSmallBufferGivesMoreDataWithTheSizeAndStaysUntouched) {
  RegistryKey key = CreateKey();
  const char16_t text[] = u"twelve units";
  ASSERT_EQ(key.SetValue(u"Name", platform::kRegistryString, text, sizeof(text)), 0);
  char16_t buffer[8] = {u'#', u'#', u'#', u'#', u'#', u'#', u'#', u'#'};
  uint32_t size = sizeof(buffer);
  EXPECT_EQ(key.QueryValue(u"Name", nullptr, buffer, &size), platform::kErrorMoreData);
  EXPECT_EQ(size, sizeof(text));
  // Enumeration: the data, then the name without room for its terminating zero.
  char16_t name[5] = {u'#', u'#', u'#', u'#', u'#'};
  uint32_t nameLength = 5;
  size = sizeof(buffer);
  EXPECT_EQ(key.EnumValue(0, name, &nameLength, nullptr, buffer, &size), platform::kErrorMoreData);
  EXPECT_EQ(size, sizeof(text));
  nameLength = 4;
  EXPECT_EQ(key.EnumValue(0, name, &nameLength, nullptr, nullptr, nullptr),
            platform::kErrorMoreData);
  EXPECT_EQ(nameLength, 4u);
  EXPECT_EQ(std::u16string_view(buffer, 8), u"########");
  EXPECT_EQ(std::u16string_view(name, 5), u"#####");
}

TEST_F(RegistryTest, MissingKeysAndValuesGiveFileNotFound) {
  RegistryKey key;
  EXPECT_EQ(RegistryKey::Open(kUser, kPath, key), platform::kErrorFileNotFound);
  EXPECT_EQ(RegistryKey::Delete(kUser, kPath), platform::kErrorFileNotFound);
  key = CreateKey();
  EXPECT_EQ(RegistryKey::Open(kUser, u"Software\\Brisca\\Other", key), platform::kErrorFileNotFound);
  EXPECT_EQ(QueryDword(key, u"absent"), std::nullopt);
  EXPECT_EQ(key.DeleteValue(u"absent"), platform::kErrorFileNotFound);
  // Deleting a key takes its values along, also from a key still open on it.
  ASSERT_EQ(SetDword(key, u"value", 1), 0);
  ASSERT_EQ(RegistryKey::Delete(kUser, kPath), platform::kErrorSuccess);
  EXPECT_EQ(QueryDword(key, u"value"), std::nullopt);
  EXPECT_EQ(SetDword(key, u"value", 2), platform::kErrorFileNotFound);
  EXPECT_TRUE(EnumNames(CreateKey()).empty());
}

TEST_F(RegistryTest, EnumerationListsEachValueOnceThroughReplaceAndDelete) {
  RegistryKey key = CreateKey();
  for (const char16_t* name : {u"alpha", u"beta", u"gamma"}) ASSERT_EQ(SetDword(key, name, 1), 0);
  RegistryKey other = CreateKey(kUser, u"Software\\Other");
  ASSERT_EQ(SetDword(other, u"foreign", 1), 0);
  ASSERT_EQ(SetDword(key, u"BETA", 2), 0);
  ASSERT_EQ(key.DeleteValue(u"alpha"), 0);
  ASSERT_EQ(SetDword(key, u"Alpha", 3), 0);
  EXPECT_EQ(EnumNames(key), (Names{u"Alpha", u"beta", u"gamma"}));
  char16_t name[260];
  uint32_t nameLength = 260;
  EXPECT_EQ(key.EnumValue(3, name, &nameLength, nullptr, nullptr, nullptr),
            platform::kErrorNoMoreItems);
}

TEST_F(RegistryTest, SubkeysAreTheNextPathComponentsInOrderOfAppearance) {
  const std::u16string uninstall = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  for (const char16_t* entry : {u"\\Ombrel 12", u"\\other\\deeper", u"\\OMBREL 12\\again", u"\\Viewer"}) {
    RegistryKey created;
    ASSERT_EQ(RegistryKey::Create(RegistryRoot::LocalMachine, uninstall + entry, created), 0);
  }
  RegistryKey lookalike;  // shares the prefix but not the separator
  ASSERT_EQ(RegistryKey::Create(RegistryRoot::LocalMachine, uninstall + u"Extra", lookalike), 0);

  RegistryKey key;
  ASSERT_EQ(RegistryKey::Open(RegistryRoot::LocalMachine, uninstall, key), 0);
  uint32_t subkeys = 0, values = 7;
  ASSERT_EQ(key.QueryInfoKey(&subkeys, &values), 0);
  EXPECT_EQ(subkeys, 3u);
  EXPECT_EQ(values, 0u);
  Names names;
  char16_t name[16];
  uint32_t length = 16;
  for (uint32_t index = 0; key.EnumKey(index, name, &length) == 0; ++index, length = 16) names.emplace_back(name, length);
  EXPECT_EQ(names, (Names{u"Ombrel 12", u"other", u"Viewer"}));

  length = 9;  // "Ombrel 12" needs ten units with its terminator
  EXPECT_EQ(key.EnumKey(0, name, &length), platform::kErrorMoreData);
  EXPECT_EQ(length, 9u);
  EXPECT_EQ(key.EnumKey(3, name, &length), platform::kErrorNoMoreItems);
}

TEST_F(RegistryTest, CurrentUserAndLocalMachineAreSeparate) {
  RegistryKey user = CreateKey(kUser);
  ASSERT_EQ(SetDword(user, u"name", 1), 0);
  RegistryKey machine;
  EXPECT_EQ(RegistryKey::Open(RegistryRoot::LocalMachine, kPath, machine), 2);
  machine = CreateKey(RegistryRoot::LocalMachine);
  EXPECT_EQ(QueryDword(machine, u"name"), std::nullopt);
  ASSERT_EQ(SetDword(machine, u"name", 2), 0);
  ASSERT_EQ(RegistryKey::Delete(RegistryRoot::LocalMachine, kPath), 0);
  EXPECT_EQ(QueryDword(user, u"name"), 1u);
}

}  // namespace

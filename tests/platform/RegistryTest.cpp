#include "platform/Registry.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/support/TestEnvironment.h"

namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

constexpr auto kUser = RegistryRoot::CurrentUser;
constexpr auto kMachine = RegistryRoot::LocalMachine;
constexpr std::u16string_view kKeyPath = u"Software\\Brisca\\LiveConnections";

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

class RegistryTest : public TestEnvironment {
protected:
  static RegistryKey CreateKey(RegistryRoot root = kUser, std::u16string_view path = kKeyPath) {
    RegistryKey key;
    EXPECT_EQ(RegistryKey::Create(root, path, key), platform::kErrorSuccess);
    return key;
  }
  static int32_t SetDword(RegistryKey& key, std::u16string_view name, uint32_t value) {
    return key.SetValue(name, platform::REG_DWORD, &value, sizeof(value));
  }
  static std::optional<uint32_t> QueryDword(const RegistryKey& key, std::u16string_view name) {
    uint32_t type = 0;
    uint32_t value = 0;
    uint32_t size = sizeof(value);
    if (key.QueryValue(name, &type, &value, &size) != platform::kErrorSuccess) return std::nullopt;
    EXPECT_EQ(type, platform::REG_DWORD);
    EXPECT_EQ(size, sizeof(value));
    return value;
  }
  // Value names in enumeration order.
  static std::vector<std::u16string> Names(const RegistryKey& key) {
    std::vector<std::u16string> names;
    for (uint32_t index = 0;; ++index) {
      char16_t name[260];
      uint32_t length = 260;
      const int32_t result = key.EnumValue(index, name, &length, nullptr, nullptr, nullptr);
      if (result == platform::kErrorNoMoreItems) break;
      EXPECT_EQ(result, platform::kErrorSuccess);
      names.emplace_back(name, length);
    }
    return names;
  }
};

TEST_F(RegistryTest, KeyPathsAndValueNamesCompareCaseInsensitively) {
  RegistryKey created = CreateKey(kUser, u"Software\\Stra\u00DFe\\\u00C4rger");
  ASSERT_EQ(SetDword(created, u"Drawing\\One.vwx", 1), platform::kErrorSuccess);
  ASSERT_EQ(SetDword(created, u"\u00E9t\u00E9", 2), platform::kErrorSuccess);

  RegistryKey opened;
  ASSERT_EQ(RegistryKey::Open(kUser, u"SOFTWARE\\STRA\u00DFE\\\u00E4RGER", opened),
            platform::kErrorSuccess);
  EXPECT_EQ(QueryDword(opened, u"drawing\\ONE.VWX"), 1u);
  EXPECT_EQ(QueryDword(opened, u"\u00C9T\u00C9"), 2u);

  // Writing under another case replaces the value and keeps the name as first written.
  ASSERT_EQ(SetDword(opened, u"DRAWING\\one.vwx", 7), platform::kErrorSuccess);
  EXPECT_EQ(QueryDword(created, u"Drawing\\One.vwx"), 7u);
  EXPECT_EQ(Names(opened), (std::vector<std::u16string>{u"Drawing\\One.vwx", u"\u00E9t\u00E9"}));

  EXPECT_EQ(opened.DeleteValue(u"\u00C9t\u00C9"), platform::kErrorSuccess);
  EXPECT_EQ(RegistryKey::Delete(kUser, u"software\\STRASSE\\\u00C4rger"),
            platform::kErrorFileNotFound);  // no folding beyond one unit to one unit
  EXPECT_EQ(RegistryKey::Delete(kUser, u"software\\stra\u00DFe\\\u00E4rger"),
            platform::kErrorSuccess);
}

TEST_F(RegistryTest, ValuesKeepTheirTypeSizeAndBytes) {
  RegistryKey key = CreateKey();
  const uint32_t dword = 0xDEADBEEF;
  const char16_t text[] = u"C:\\Program Files\\Ombrel";  // with its terminating zero
  const uint8_t binary[] = {0, 1, 0, 255, 0};
  const std::u16string oddName = u"lone \xD800 surrogate";
  ASSERT_EQ(key.SetValue(u"Dword", platform::REG_DWORD, &dword, 4), platform::kErrorSuccess);
  ASSERT_EQ(key.SetValue(u"Text", platform::REG_SZ, text, sizeof(text)), platform::kErrorSuccess);
  ASSERT_EQ(key.SetValue(oddName, platform::REG_BINARY, binary, 5), platform::kErrorSuccess);
  ASSERT_EQ(key.SetValue(u"", platform::REG_BINARY, nullptr, 0), platform::kErrorSuccess);

  struct Expected {
    std::u16string name;
    uint32_t type;
    const void* data;
    uint32_t size;
  };
  const Expected expected[] = {{u"Dword", platform::REG_DWORD, &dword, 4},
                               {u"Text", platform::REG_SZ, text, sizeof(text)},
                               {oddName, platform::REG_BINARY, binary, 5},
                               {u"", platform::REG_BINARY, nullptr, 0}};
  for (uint32_t index = 0; index < 4; ++index) {
    const Expected& value = expected[index];
    SCOPED_TRACE(index);
    uint8_t buffer[64];
    uint32_t type = 99;
    uint32_t size = sizeof(buffer);
    ASSERT_EQ(key.QueryValue(value.name, &type, buffer, &size), platform::kErrorSuccess);
    EXPECT_EQ(type, value.type);
    ASSERT_EQ(size, value.size);
    if (size) {
      EXPECT_EQ(std::memcmp(buffer, value.data, size), 0);
    }

    // Size only, without a buffer.
    size = 0;
    ASSERT_EQ(key.QueryValue(value.name, nullptr, nullptr, &size), platform::kErrorSuccess);
    EXPECT_EQ(size, value.size);

    char16_t name[260];
    uint32_t nameLength = 260;
    size = sizeof(buffer);
    ASSERT_EQ(key.EnumValue(index, name, &nameLength, &type, buffer, &size),
              platform::kErrorSuccess);
    EXPECT_EQ(std::u16string(name, nameLength), value.name);
    EXPECT_EQ(name[nameLength], u'\0');
    EXPECT_EQ(type, value.type);
    ASSERT_EQ(size, value.size);
    if (size) {
      EXPECT_EQ(std::memcmp(buffer, value.data, size), 0);
    }
  }
}

TEST_F(RegistryTest, TooSmallBufferGivesMoreDataAndTheSizeAndIsNotWritten) {
  RegistryKey key = CreateKey();
  const char16_t text[] = u"twelve units";
  ASSERT_EQ(key.SetValue(u"Name", platform::REG_SZ, text, sizeof(text)), platform::kErrorSuccess);

  char16_t buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  uint32_t size = sizeof(buffer);
  uint32_t type = 0;
  EXPECT_EQ(key.QueryValue(u"Name", &type, buffer, &size), platform::kErrorMoreData);
  EXPECT_EQ(size, sizeof(text));
  EXPECT_EQ(type, platform::REG_SZ);
  EXPECT_EQ(std::u16string_view(buffer, 8), u"########");

  // Enumeration: data too small, then a name buffer one unit short of the terminating zero.
  char16_t name[4] = {u'#', u'#', u'#', u'#'};
  uint32_t nameLength = 5;
  char16_t largeName[5];
  size = sizeof(buffer);
  EXPECT_EQ(key.EnumValue(0, largeName, &nameLength, nullptr, buffer, &size),
            platform::kErrorMoreData);
  EXPECT_EQ(size, sizeof(text));
  EXPECT_EQ(std::u16string_view(buffer, 8), u"########");
  nameLength = 4;
  size = 0;
  EXPECT_EQ(key.EnumValue(0, name, &nameLength, nullptr, nullptr, &size), platform::kErrorMoreData);
  EXPECT_EQ(nameLength, 4u);
  EXPECT_EQ(std::u16string_view(name, 4), u"####");
  nameLength = 5;
  EXPECT_EQ(key.EnumValue(0, largeName, &nameLength, nullptr, nullptr, &size),
            platform::kErrorSuccess);
  EXPECT_EQ(std::u16string_view(largeName, nameLength), u"Name");
}

TEST_F(RegistryTest, MissingKeysAndValuesGiveFileNotFound) {
  RegistryKey key;
  EXPECT_EQ(RegistryKey::Open(kUser, kKeyPath, key), platform::kErrorFileNotFound);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(RegistryKey::Delete(kUser, kKeyPath), platform::kErrorFileNotFound);
  // Creating a key creates none of the keys above it.
  key = CreateKey();
  EXPECT_EQ(RegistryKey::Open(kUser, u"Software\\Brisca", key), platform::kErrorFileNotFound);
  key = CreateKey();
  uint32_t size = 0;
  EXPECT_EQ(key.QueryValue(u"absent", nullptr, nullptr, &size), platform::kErrorFileNotFound);
  EXPECT_EQ(key.DeleteValue(u"absent"), platform::kErrorFileNotFound);
}

TEST_F(RegistryTest, DeletedKeyTakesItsValuesAlong) {
  RegistryKey key = CreateKey();
  ASSERT_EQ(SetDword(key, u"value", 1), platform::kErrorSuccess);
  ASSERT_EQ(RegistryKey::Delete(kUser, kKeyPath), platform::kErrorSuccess);
  // A key still open on the deleted one sees nothing and cannot bring it back.
  EXPECT_EQ(QueryDword(key, u"value"), std::nullopt);
  EXPECT_EQ(SetDword(key, u"value", 2), platform::kErrorFileNotFound);
  RegistryKey again;
  EXPECT_EQ(RegistryKey::Open(kUser, kKeyPath, again), platform::kErrorFileNotFound);
  again = CreateKey();
  EXPECT_TRUE(Names(again).empty());
  EXPECT_EQ(SetDword(key, u"value", 3), platform::kErrorFileNotFound);
  EXPECT_TRUE(Names(again).empty());
}

TEST_F(RegistryTest, EnumerationKeepsCreationOrderThroughReplaceAndDelete) {
  RegistryKey key = CreateKey();
  for (const char16_t* name : {u"alpha", u"beta", u"gamma", u"delta"}) {
    ASSERT_EQ(SetDword(key, name, 1), platform::kErrorSuccess);
  }
  ASSERT_EQ(SetDword(key, u"BETA", 2), platform::kErrorSuccess);
  ASSERT_EQ(key.DeleteValue(u"alpha"), platform::kErrorSuccess);
  ASSERT_EQ(SetDword(key, u"Alpha", 3), platform::kErrorSuccess);
  EXPECT_EQ(Names(key), (std::vector<std::u16string>{u"beta", u"gamma", u"delta", u"Alpha"}));

  char16_t name[260];
  uint32_t nameLength = 260;
  EXPECT_EQ(key.EnumValue(4, name, &nameLength, nullptr, nullptr, nullptr),
            platform::kErrorNoMoreItems);
  // Another key's values, even newer ones, do not show up here.
  RegistryKey other = CreateKey(kUser, u"Software\\Other");
  ASSERT_EQ(SetDword(other, u"foreign", 1), platform::kErrorSuccess);
  EXPECT_EQ(Names(key).size(), 4u);
}

TEST_F(RegistryTest, CurrentUserAndLocalMachineAreSeparate) {
  RegistryKey user = CreateKey(kUser);
  ASSERT_EQ(SetDword(user, u"shared name", 1), platform::kErrorSuccess);
  RegistryKey machine;
  EXPECT_EQ(RegistryKey::Open(kMachine, kKeyPath, machine), platform::kErrorFileNotFound);
  machine = CreateKey(kMachine);
  EXPECT_EQ(QueryDword(machine, u"shared name"), std::nullopt);
  ASSERT_EQ(SetDword(machine, u"shared name", 2), platform::kErrorSuccess);
  EXPECT_EQ(QueryDword(user, u"shared name"), 1u);
  ASSERT_EQ(RegistryKey::Delete(kMachine, kKeyPath), platform::kErrorSuccess);
  EXPECT_EQ(RegistryKey::Open(kUser, kKeyPath, user), platform::kErrorSuccess);
  EXPECT_EQ(QueryDword(user, u"shared name"), 1u);
}

TEST_F(RegistryTest, FileLivesUnderTheConfigFolderWhenNotConfigured) {
  const char* savedHome = std::getenv("HOME");
  const std::string home = savedHome ? savedHome : "";
  unsetenv("TIDELINK_REGISTRY");
  setenv("XDG_CONFIG_HOME", (scratch() / "config").c_str(), 1);
  CreateKey();
  EXPECT_TRUE(std::filesystem::exists(scratch() / "config/tidelink/registry.sqlite"));
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", (scratch() / "home").c_str(), 1);
  CreateKey();
  EXPECT_TRUE(std::filesystem::exists(scratch() / "home/.config/tidelink/registry.sqlite"));
  if (savedHome) setenv("HOME", home.c_str(), 1);
}

TEST_F(RegistryTest, CorruptFileGivesBadDatabaseAndIsLeftExactlyAsItWas) {
  // A registry whose pages after the file header are overwritten, and a file that is no
  // database at all.
  {
    RegistryKey key = CreateKey();
    ASSERT_EQ(SetDword(key, u"value", 1), platform::kErrorSuccess);
  }
  std::string damaged = ReadFile(registryPath());
  ASSERT_GT(damaged.size(), 4096u);
  for (size_t i = 100; i < damaged.size(); ++i) damaged[i] = static_cast<char>(i * 7919 % 251);
  std::string garbage(8192, '\0');
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 31 % 253);

  for (const std::string& contents : {damaged, garbage}) {
    std::ofstream(registryPath(), std::ios::binary | std::ios::trunc) << contents;
    RegistryKey key;
    EXPECT_EQ(RegistryKey::Open(kUser, kKeyPath, key), platform::kErrorBadDatabase);
    EXPECT_EQ(RegistryKey::Create(kUser, kKeyPath, key), platform::kErrorBadDatabase);
    EXPECT_EQ(RegistryKey::Delete(kUser, kKeyPath), platform::kErrorBadDatabase);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(ReadFile(registryPath()), contents);
  }
}

TEST_F(RegistryTest, ConcurrentThreadsWritingOneKeyLoseNothing) {
  constexpr int kThreads = 4;
  constexpr uint32_t kValues = 100;
  std::vector<std::thread> threads;
  for (int thread = 0; thread < kThreads; ++thread) {
    threads.emplace_back([thread] {
      RegistryKey key = CreateKey();
      for (uint32_t i = 0; i < kValues; ++i) {
        const std::u16string name = Ascii("thread" + std::to_string(thread) + "-" + std::to_string(i));
        EXPECT_EQ(SetDword(key, name, i), platform::kErrorSuccess);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(Names(CreateKey()).size(), kThreads * kValues);
}

// Each child writes its own values into the one key at the same time as the other; every
// value of both must be there afterwards with its data.
TEST_F(RegistryTest, TwoProcessesWritingOneKeyLoseNothing) {
  constexpr uint32_t kValues = 400;
  const auto valueName = [](int process, uint32_t index) {
    return Ascii("process" + std::to_string(process) + "-" + std::to_string(index));
  };
  int startPipe[2];
  ASSERT_EQ(pipe(startPipe), 0);
  pid_t children[2];
  for (int process = 0; process < 2; ++process) {
    children[process] = fork();
    ASSERT_GE(children[process], 0);
    if (children[process] == 0) {
      close(startPipe[1]);
      char go;
      if (read(startPipe[0], &go, 1) != 0) _exit(3);  // both start when the pipe closes
      // Opening a fresh key now and then, so that opening races with the other's writes too.
      bool ok = true;
      RegistryKey key;
      for (uint32_t index = 0; index < kValues && ok; ++index) {
        if (index % 50 == 0) ok = RegistryKey::Create(kUser, kKeyPath, key) == 0;
        ok = ok && SetDword(key, valueName(process, index), index * 2 + process) == 0;
      }
      _exit(ok ? 0 : 1);
    }
  }
  close(startPipe[0]);
  close(startPipe[1]);
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Open(kUser, kKeyPath, key), platform::kErrorSuccess);
  EXPECT_EQ(Names(key).size(), 2 * kValues);
  for (int process = 0; process < 2; ++process) {
    for (uint32_t index = 0; index < kValues; ++index) {
      ASSERT_EQ(QueryDword(key, valueName(process, index)), index * 2 + process);
    }
  }
}

}  // namespace

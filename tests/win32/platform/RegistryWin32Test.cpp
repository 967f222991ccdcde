#include "platform/Registry.h"

#include "tests/support/TestEnvironment.h"
#include "tests/win32/platform/SelfProcess.h"

namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

constexpr std::u16string_view kPath = u"Software\\Brisca\\LiveConnections";

using RegistryWin32Test = TestEnvironment;

TEST(RegistryWin32Child, DISABLED_WritesTheValueItIsGiven) {
  const std::optional<std::string> task = ChildTask();
  ASSERT_TRUE(task.has_value());
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create(RegistryRoot::CurrentUser, kPath, key), 0);
  const std::u16string name = platform::Utf16FromUtf8(*task);
  const uint32_t value = 1;
  ASSERT_EQ(key.SetValue(name, platform::kRegistryDword, &value, sizeof(value)), 0);
}

// The isolation variable reaches the child, so both processes must meet in the same keys.
TEST_F(RegistryWin32Test, AValueWrittenByAnotherProcessIsSeenAtOnce) {
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create(RegistryRoot::CurrentUser, kPath, key), 0);
  platform::ChildProcess child;
  ASSERT_TRUE(StartSelf("RegistryWin32Child.*", {}, child, "C:\\Drawings\\House.vwx"));
  ASSERT_EQ(child.Wait(std::chrono::minutes(1)), 0);
  uint32_t value = 0, size = sizeof(value), type = 0;
  ASSERT_EQ(key.QueryValue(u"c:\\drawings\\HOUSE.vwx", &type, &value, &size), 0);
  EXPECT_EQ(type, platform::kRegistryDword);
  EXPECT_EQ(value, 1u);
}

// Two isolation values are two registries; without one the keys are the user's own.
TEST_F(RegistryWin32Test, EachIsolationValueHasKeysOfItsOwn) {
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create(RegistryRoot::CurrentUser, kPath, key), 0);
  {
    ScopedEnvironment other("TIDELINK_REGISTRY", (scratch() / "other").string());
    RegistryKey elsewhere;
    EXPECT_EQ(RegistryKey::Open(RegistryRoot::CurrentUser, kPath, elsewhere), platform::kErrorFileNotFound);
  }
  RegistryKey again;
  EXPECT_EQ(RegistryKey::Open(RegistryRoot::CurrentUser, kPath, again), 0);
  ASSERT_EQ(RegistryKey::Delete(RegistryRoot::CurrentUser, kPath), 0);
}

// A key deleted while open reports its values as missing, as the other backends do, rather than
// the system's own "key deleted" code.
TEST_F(RegistryWin32Test, AKeyDeletedWithSubkeysGoesWholeAndItsOpenHandleSeesNothing) {
  RegistryKey key, below;
  ASSERT_EQ(RegistryKey::Create(RegistryRoot::CurrentUser, kPath, key), 0);
  ASSERT_EQ(RegistryKey::Create(RegistryRoot::CurrentUser, std::u16string(kPath) + u"\\Deeper", below), 0);
  const uint32_t value = 5;
  ASSERT_EQ(key.SetValue(u"v", platform::kRegistryDword, &value, sizeof(value)), 0);
  ASSERT_EQ(RegistryKey::Delete(RegistryRoot::CurrentUser, kPath), 0);
  uint32_t size = 4, read = 0;
  EXPECT_EQ(key.QueryValue(u"v", nullptr, &read, &size), platform::kErrorFileNotFound);
  EXPECT_EQ(key.SetValue(u"v", platform::kRegistryDword, &value, sizeof(value)), platform::kErrorFileNotFound);
  RegistryKey gone;
  EXPECT_EQ(RegistryKey::Open(RegistryRoot::CurrentUser, std::u16string(kPath) + u"\\Deeper", gone),
            platform::kErrorFileNotFound);
}

}  // namespace

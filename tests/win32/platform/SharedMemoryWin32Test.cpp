#include "platform/SharedMemory.h"
#include "platform/win32/SharedMemoryObjects.h"

#include <cstring>
#include <thread>

#include "tests/support/TestEnvironment.h"
#include "tests/win32/platform/SelfProcess.h"

namespace {

using platform::SharedMemory;

// A drawing path as a mapping name: backslashes, a drive colon and non-ASCII text.
const std::u16string kPathName = u"C:\\Zeichnungen\\K\u00fcche: Entwurf.vwx";

class SharedMemoryWin32Test : public TestEnvironment {};

bool Holds(const SharedMemory& mapping, const char* text) {
  return mapping.IsMapped() && std::memcmp(mapping.data(), text, std::strlen(text)) == 0;
}

TEST(SharedMemoryWin32Child, DISABLED_CreatesTheNamedMappingAndWaitsToBeKilled) {
  const std::optional<std::string> task = ChildTask();
  ASSERT_TRUE(task.has_value());
  SharedMemory mapping;
  ASSERT_EQ(SharedMemory::Create(platform::Utf16FromUtf8(*task), 4096, mapping), 0);
  std::memcpy(mapping.data(), "child", 5);
  std::this_thread::sleep_for(std::chrono::minutes(1));
}

TEST_F(SharedMemoryWin32Test, NamesPassUnchangedUnlessTheSystemCannotTakeThem) {
  using platform::win32::SharedMemoryObjectName;
  EXPECT_EQ(SharedMemoryObjectName(u"TideLinkAPI/42/0000000A"), u"TideLinkAPI/42/0000000A");
  const std::u16string escaped = SharedMemoryObjectName(u"a\\b%");
  EXPECT_EQ(escaped.find(u'\\'), std::u16string::npos);
  EXPECT_NE(escaped, SharedMemoryObjectName(u"a/b%"));
  EXPECT_NE(escaped, SharedMemoryObjectName(u"a%005Cb%"));
  const std::u16string overlong(40000, u'x');
  EXPECT_LT(SharedMemoryObjectName(overlong).size(), 100u);
  EXPECT_NE(SharedMemoryObjectName(overlong), SharedMemoryObjectName(overlong + u'y'));
}

// Names with backslashes and colons are escaped, so they must still meet in the other process.
TEST_F(SharedMemoryWin32Test, APathNameCreatedInOneProcessOpensInAnother) {
  platform::ChildProcess child;
  ASSERT_TRUE(StartSelf("SharedMemoryWin32Child.*", {}, child, platform::Utf8FromUtf16(kPathName)));
  SharedMemory reader;
  ASSERT_TRUE(WaitWhileChildRuns(child, [&] {
    return SharedMemory::Open(kPathName, reader) == 0 && Holds(reader, "child");
  }));
  EXPECT_TRUE(reader.IsCreatorAlive());
  SharedMemory second;
  EXPECT_EQ(SharedMemory::Create(kPathName, 4096, second), platform::kErrorAlreadyExists);
  EXPECT_EQ(SharedMemory::Open(u"C:/Zeichnungen/K\u00fcche: Entwurf.vwx", second), 2);
}

// A killed creator closes nothing itself: its end must still show, and its name be free, while
// this process keeps mapping the old bytes.
TEST_F(SharedMemoryWin32Test, AKilledCreatorsMappingCountsAsAbsentWhileItsReaderKeepsTheBytes) {
  platform::ChildProcess child;
  ASSERT_TRUE(StartSelf("SharedMemoryWin32Child.*", {}, child, "killed-creator"));
  SharedMemory reader;
  ASSERT_TRUE(WaitWhileChildRuns(child, [&] {
    return SharedMemory::Open(u"killed-creator", reader) == 0 && Holds(reader, "child");
  }));
  ASSERT_TRUE(child.Terminate());
  ASSERT_TRUE(child.Wait(std::chrono::minutes(1)));
  EXPECT_FALSE(reader.IsCreatorAlive());
  SharedMemory late;
  EXPECT_EQ(SharedMemory::Open(u"killed-creator", late), 2);
  SharedMemory successor;
  ASSERT_EQ(SharedMemory::Create(u"killed-creator", 8192, successor), 0);
  EXPECT_EQ(static_cast<const char*>(successor.data())[0], 0);
  EXPECT_TRUE(Holds(reader, "child"));
  EXPECT_FALSE(reader.IsCreatorAlive()) << "the successor is not the reader's creator";
}

// The creator is the process, not the thread that happened to create the mapping.
TEST_F(SharedMemoryWin32Test, TheCreatorLivesOnAfterTheCreatingThreadEnds) {
  SharedMemory creator;
  std::thread([&] { ASSERT_EQ(SharedMemory::Create(u"thread-created", 4096, creator), 0); }).join();
  SharedMemory reader;
  ASSERT_EQ(SharedMemory::Open(u"thread-created", reader), 0);
  EXPECT_TRUE(reader.IsCreatorAlive());
  SharedMemory second;
  EXPECT_EQ(SharedMemory::Create(u"thread-created", 4096, second), platform::kErrorAlreadyExists);
}

// A document closed and made again under its name is a new one: the old reader must not take
// the new creator for its own, and the new one starts from zero.
TEST_F(SharedMemoryWin32Test, AClosedAndRecreatedNameIsANewMappingForItsOldReader) {
  SharedMemory creator;
  ASSERT_EQ(SharedMemory::Create(u"recreated", 4096, creator), 0);
  std::memcpy(creator.data(), "first", 5);
  SharedMemory reader;
  ASSERT_EQ(SharedMemory::Open(u"recreated", reader), 0);
  EXPECT_GE(reader.size(), 4096u);
  creator.Close();
  ASSERT_EQ(SharedMemory::Create(u"recreated", 4096, creator), 0);
  EXPECT_EQ(static_cast<const char*>(creator.data())[0], 0);
  EXPECT_FALSE(reader.IsCreatorAlive());
  EXPECT_TRUE(Holds(reader, "first"));
  SharedMemory fresh;
  ASSERT_EQ(SharedMemory::Open(u"recreated", fresh), 0);
  EXPECT_TRUE(fresh.IsCreatorAlive());
}

}  // namespace

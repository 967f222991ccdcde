#include "platform/SharedMemory.h"
#include "platform/posix/SharedMemoryObjects.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sched.h>
#include <unistd.h>

#include "tests/support/TestEnvironment.h"

namespace {

class SharedMemoryTest : public TestEnvironment {
protected:
  void SetUp() override {
    TestEnvironment::SetUp();
    token_ = u"shm-test-" + Utf16(std::to_string(getpid()));
  }
  // Nothing a test created may stay behind.
  void TearDown() override {
    EXPECT_TRUE(ObjectsOfThisTest().empty());
    TestEnvironment::TearDown();
  }

  static std::u16string Utf16(const std::string& text) { return {text.begin(), text.end()}; }
  std::u16string Name(const std::string& suffix) const { return token_ + Utf16(suffix); }
  std::vector<std::string> ObjectsOfThisTest() const {
    const std::string marker(token_.begin(), token_.end());
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm")) {
      if (entry.path().filename().string().find(marker) != std::string::npos) {
        found.push_back(entry.path().filename());
      }
    }
    return found;
  }

  std::u16string token_;
};

TEST_F(SharedMemoryTest, CreatedObjectIsZeroPrivateSharedAndGoneWithItsCreator) {
  platform::SharedMemory creator;
  ASSERT_EQ(platform::SharedMemory::Create(Name("a"), 10000, creator), 0);
  ASSERT_EQ(creator.size(), 10000u);
  const auto* bytes = static_cast<const uint8_t*>(creator.data());
  EXPECT_TRUE(std::all_of(bytes, bytes + 10000, [](uint8_t byte) { return byte == 0; }));
  struct stat status;
  ASSERT_EQ(stat(("/dev/shm" + platform::posix::SharedMemoryObjectName(Name("a"))).c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);

  platform::SharedMemory reader;
  ASSERT_EQ(platform::SharedMemory::Open(Name("a"), reader), 0);
  EXPECT_EQ(reader.size(), 10000u);
  std::memcpy(creator.data(), "seen", 4);
  EXPECT_EQ(std::memcmp(reader.data(), "seen", 4), 0);

  platform::SharedMemory second;
  EXPECT_EQ(platform::SharedMemory::Create(Name("a"), 10000, second), platform::kErrorAlreadyExists);
  EXPECT_FALSE(second.IsMapped());

  creator.Close();
  EXPECT_EQ(platform::SharedMemory::Open(Name("a"), second), 2);
  EXPECT_EQ(std::memcmp(reader.data(), "seen", 4), 0);  // a mapping outlives the name
}

TEST_F(SharedMemoryTest, MissingEmptyOrUnmappableRequestsFail) {
  platform::SharedMemory mapping;
  EXPECT_EQ(platform::SharedMemory::Open(Name("missing"), mapping), 2);
  EXPECT_EQ(platform::SharedMemory::Create(Name("empty"), 0, mapping), 87);
  EXPECT_FALSE(mapping.IsMapped());
  EXPECT_EQ(mapping.data(), nullptr);
}

// Shared memory running out is an error of the creation: a sparse object would map fine and
// kill its writer with SIGBUS once the pages cannot be had. The child gets a 256 KiB /dev/shm of
// its own (a private mount namespace), so that nothing else on the machine runs short.
TEST_F(SharedMemoryTest, ExhaustedSharedMemoryFailsTheCreationInsteadOfTheFirstWrite) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root for a /dev/shm of its own";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", "/dev/shm", "tmpfs", 0, "size=256k") != 0) {
      _exit(10);
    }
    platform::SharedMemory first, second;
    if (platform::SharedMemory::Create(Name("first"), 192 * 1024, first) != 0) _exit(11);
    std::memset(first.data(), 1, first.size());
    if (platform::SharedMemory::Create(Name("second"), 192 * 1024, second) != platform::kErrorNotEnoughMemory) {
      _exit(12);
    }
    if (second.IsMapped() || ObjectsOfThisTest().size() != 1) _exit(13);
    first.Close();
    // Space given back is there for the next creation.
    if (platform::SharedMemory::Create(Name("second"), 192 * 1024, second) != 0) _exit(14);
    std::memset(second.data(), 1, second.size());
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child died of signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no namespace, 11: first, 12: second, 13: leftovers, 14: again";
}

TEST_F(SharedMemoryTest, NamesEscapeDeterministicallyAndLongOnesEndInAHash) {
  using platform::SharedMemory;
  const std::string prefix = "/tidelink." + std::to_string(geteuid()) + ".";
  EXPECT_EQ(platform::posix::SharedMemoryObjectName(u"TideLinkAPI/42/0000000A"), prefix + "TideLinkAPI%002F42%002F0000000A");
  EXPECT_EQ(platform::posix::SharedMemoryObjectName(u"a b\u00e9%"), prefix + "a%0020b%00E9%0025");
  EXPECT_NE(platform::posix::SharedMemoryObjectName(u"a/b"), platform::posix::SharedMemoryObjectName(u"a\\b"));

  const std::u16string longName(300, u'x');
  const std::string object = platform::posix::SharedMemoryObjectName(longName);
  EXPECT_EQ(object.size(), 200u);
  EXPECT_EQ(object, platform::posix::SharedMemoryObjectName(longName));
  EXPECT_NE(object, platform::posix::SharedMemoryObjectName(longName + u'y'));
  EXPECT_EQ(object.find('/', 1), std::string::npos);
}

TEST_F(SharedMemoryTest, ObjectOfALiveProcessIsTakenAndOneOfACrashedProcessIsReplaced) {
  int toParent[2], toChild[2];
  ASSERT_EQ(pipe(toParent), 0);
  ASSERT_EQ(pipe(toChild), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    platform::SharedMemory mapping;
    if (platform::SharedMemory::Create(Name("live"), 4096, mapping) == 0) {
      std::memcpy(mapping.data(), "child", 5);
    }
    char go;
    (void)!write(toParent[1], "r", 1);
    (void)!read(toChild[0], &go, 1);
    if (go == 'c') _exit(0);  // crash: the object stays behind, held by nobody
    mapping.Close();
    _exit(0);
  }
  char ready;
  ASSERT_EQ(read(toParent[0], &ready, 1), 1);
  platform::SharedMemory mapping;
  EXPECT_EQ(platform::SharedMemory::Create(Name("live"), 4096, mapping),
            platform::kErrorAlreadyExists);
  ASSERT_EQ(platform::SharedMemory::Open(Name("live"), mapping), 0);
  EXPECT_EQ(std::memcmp(mapping.data(), "child", 5), 0);
  mapping.Close();

  ASSERT_EQ(write(toChild[1], "c", 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(ObjectsOfThisTest().size(), 1u);
  EXPECT_EQ(platform::SharedMemory::Open(Name("live"), mapping), 2);
  ASSERT_EQ(platform::SharedMemory::Create(Name("live"), 8192, mapping), 0);
  EXPECT_EQ(mapping.size(), 8192u);
  EXPECT_EQ(static_cast<const char*>(mapping.data())[0], 0);
  for (int descriptor : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(descriptor);
}

// Windows keeps these names per logged-on user: another user's object of the same name, live or
// left by a crash, neither blocks this user's nor is opened in its place.
TEST_F(SharedMemoryTest, AnotherUsersObjectOfTheSameNameIsNeitherSeenNorInTheWay) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
  int toParent[2], toChild[2];
  ASSERT_EQ(pipe(toParent), 0);
  ASSERT_EQ(pipe(toChild), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    platform::SharedMemory mapping;
    const bool created = setgid(kNobody) == 0 && setuid(kNobody) == 0 &&
                         platform::SharedMemory::Create(Name("shared"), 4096, mapping) == 0;
    if (created) std::memcpy(mapping.data(), "other", 5);
    char go;
    (void)!write(toParent[1], created ? "r" : "f", 1);
    (void)!read(toChild[0], &go, 1);
    mapping.Close();
    _exit(0);
  }
  char ready = 0;
  ASSERT_EQ(read(toParent[0], &ready, 1), 1);
  EXPECT_EQ(ready, 'r');
  platform::SharedMemory mine;
  EXPECT_EQ(platform::SharedMemory::Create(Name("shared"), 4096, mine), 0);
  platform::SharedMemory opened;
  ASSERT_EQ(platform::SharedMemory::Open(Name("shared"), opened), 0);
  EXPECT_EQ(static_cast<const char*>(opened.data())[0], 0) << "this user's own, not the other's";
  opened.Close();
  mine.Close();
  ASSERT_EQ(write(toChild[1], "g", 1), 1);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  for (int descriptor : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(descriptor);
}

// A crash leaves the creator's objects behind. They count as gone even while a reader still maps
// them, and the sweep removes their names; a living creator's object, one still being created and
// one of another user's namespace stay.
TEST_F(SharedMemoryTest, AbandonedObjectsAreSweptAndOnlyThey) {
  int toParent[2], toChild[2];
  ASSERT_EQ(pipe(toParent), 0);
  ASSERT_EQ(pipe(toChild), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    platform::SharedMemory mapping;
    if (platform::SharedMemory::Create(Name("crashed"), 4096, mapping) == 0) std::memcpy(mapping.data(), "child", 5);
    char go;
    (void)!write(toParent[1], "r", 1);
    (void)!read(toChild[0], &go, 1);
    _exit(0);  // without closing: the object stays behind
  }
  char ready;
  ASSERT_EQ(read(toParent[0], &ready, 1), 1);
  platform::SharedMemory reader;
  ASSERT_EQ(platform::SharedMemory::Open(Name("crashed"), reader), 0);
  EXPECT_TRUE(reader.IsCreatorAlive());
  platform::SharedMemory living, livingReader;
  ASSERT_EQ(platform::SharedMemory::Create(Name("living"), 4096, living), 0);
  ASSERT_EQ(platform::SharedMemory::Open(Name("living"), livingReader), 0);
  const std::string young = platform::posix::SharedMemoryObjectName(Name("young"));
  const std::string otherUser = "/tidelink." + std::to_string(geteuid() + 1) + "." + std::string(token_.begin(), token_.end());
  for (const std::string& object : {young, otherUser}) {
    const int descriptor = shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(descriptor, 0) << object;
    if (object == otherUser) {
      EXPECT_EQ(ftruncate(descriptor, 4096), 0);
    }
    close(descriptor);
  }

  ASSERT_EQ(write(toChild[1], "c", 1), 1);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  EXPECT_FALSE(reader.IsCreatorAlive());
  EXPECT_TRUE(livingReader.IsCreatorAlive());
  platform::SharedMemory late;
  EXPECT_EQ(platform::SharedMemory::Open(Name("crashed"), late), 2);
  EXPECT_GE(platform::posix::RemoveAbandonedSharedMemory(), 1u);
  std::vector<std::string> left = ObjectsOfThisTest();
  std::vector<std::string> kept = {otherUser.substr(1), young.substr(1),
                                   platform::posix::SharedMemoryObjectName(Name("living")).substr(1)};
  std::sort(left.begin(), left.end());
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(left, kept);
  EXPECT_EQ(std::memcmp(reader.data(), "child", 5), 0) << "a reader keeps what it maps";
  for (const std::string& object : {young, otherUser}) shm_unlink(object.c_str());
  for (int descriptor : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(descriptor);
}

}  // namespace

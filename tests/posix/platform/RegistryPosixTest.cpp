#include "platform/Registry.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/platform/RegistryFixture.h"
#include "tests/posix/RegistryHold.h"

namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

std::u16string Ascii(const std::string& text) { return {text.begin(), text.end()}; }

class RegistryPosixTest : public RegistryFixture {};

TEST_F(RegistryPosixTest, TheFileAndTheFoldersMadeForItAreTheUsersAlone) {
  const std::filesystem::path database = scratch() / "config" / "tidelink" / "registry.sqlite";
  setenv("TIDELINK_REGISTRY", database.c_str(), 1);
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create(RegistryRoot::CurrentUser, u"Software\\Private", key), 0);
  const uint32_t value = 1;
  ASSERT_EQ(key.SetValue(u"Secret", platform::kRegistryDword, &value, sizeof(value)), 0);
  struct stat file {}, folder {}, above {};
  ASSERT_EQ(stat(database.c_str(), &file), 0);
  ASSERT_EQ(stat(database.parent_path().c_str(), &folder), 0);
  ASSERT_EQ(stat(database.parent_path().parent_path().c_str(), &above), 0);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
  EXPECT_EQ(folder.st_mode & 0777, 0700u);
  EXPECT_EQ(above.st_mode & 0777, 0700u);
  // SQLite gives its journal files the database's mode.
  for (const char* journal : {"-wal", "-shm"}) {
    struct stat status {};
    if (stat((database.string() + journal).c_str(), &status) == 0) {
      EXPECT_EQ(status.st_mode & 0077, 0u) << journal;
    }
  }
}

// Another process in the middle of a write makes calls wait, but never past the thread's limit.
TEST_F(RegistryPosixTest, AWaitLimitBoundsAllCallsOfTheThreadTogether) {
  RegistryKey key;
  ASSERT_EQ(RegistryKey::Create(RegistryRoot::CurrentUser, u"Software\\Held", key), 0);
  RegistryHold hold(registryPath());
  ASSERT_TRUE(hold.held());
  const uint32_t value = 7;
  const auto start = std::chrono::steady_clock::now();
  {
    const platform::RegistryWaitLimit limit(std::chrono::milliseconds(300));
    const platform::RegistryWaitLimit longer(std::chrono::seconds(10));  // cannot extend it
    for (int call = 0; call < 5; ++call) {
      EXPECT_EQ(key.SetValue(u"Value", platform::kRegistryDword, &value, sizeof(value)), platform::kErrorBadDatabase);
    }
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(700));
  uint32_t size = sizeof(uint32_t);
  EXPECT_EQ(key.QueryValue(u"Value", nullptr, nullptr, &size), platform::kErrorFileNotFound) << "reads go on";
  hold.Release();
  EXPECT_EQ(key.SetValue(u"Value", platform::kRegistryDword, &value, sizeof(value)), 0);
}

// A registry whose pages after the file header were overwritten, and a file that was never a
// database: both are reported and left exactly as they are.
TEST_F(RegistryPosixTest, CorruptFileGivesBadDatabaseAndIsLeftByteForByte) {
  {
    RegistryKey key = CreateKey();
    ASSERT_EQ(SetDword(key, u"value", 1), 0);
  }
  std::string damaged = ReadFile(registryPath());
  ASSERT_GT(damaged.size(), 4096u);
  for (size_t i = 100; i < damaged.size(); ++i) damaged[i] = static_cast<char>(i * 7919 % 251);
  std::string garbage(8192, '\0');
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 31 % 253);
  for (const std::string& contents : {damaged, garbage}) {
    std::ofstream(registryPath(), std::ios::binary | std::ios::trunc) << contents;
    RegistryKey key;
    EXPECT_EQ(RegistryKey::Open(kUser, kPath, key), platform::kErrorBadDatabase);
    EXPECT_EQ(RegistryKey::Create(kUser, kPath, key), platform::kErrorBadDatabase);
    EXPECT_EQ(RegistryKey::Delete(kUser, kPath), platform::kErrorBadDatabase);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(ReadFile(registryPath()), contents);
  }
}

TEST_F(RegistryPosixTest, TwoProcessesWritingOneKeyAtOnceLoseNothing) {
  constexpr uint32_t kValues = 400;
  const auto name = [](int process, uint32_t i) {
    return Ascii("process" + std::to_string(process) + "-" + std::to_string(i));
  };
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  pid_t children[2];
  for (int process = 0; process < 2; ++process) {
    children[process] = fork();
    ASSERT_GE(children[process], 0);
    if (children[process] > 0) continue;
    close(start[1]);
    char byte;
    if (read(start[0], &byte, 1) != 0) _exit(3);  // both go when the parent closes the pipe
    // Reopening now and then makes opening race with the other process's writes too.
    RegistryKey key;
    bool ok = true;
    for (uint32_t i = 0; i < kValues && ok; ++i) {
      if (i % 50 == 0) ok = RegistryKey::Create(kUser, kPath, key) == 0;
      ok = ok && SetDword(key, name(process, i), i * 2 + process) == 0;
    }
    _exit(ok ? 0 : 1);
  }
  close(start[0]);
  close(start[1]);
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  RegistryKey key = CreateKey();
  EXPECT_EQ(EnumNames(key).size(), 2 * kValues);
  for (int process = 0; process < 2; ++process) {
    for (uint32_t i = 0; i < kValues; ++i) {
      ASSERT_EQ(QueryDword(key, name(process, i)), i * 2 + process);
    }
  }
}

}  // namespace

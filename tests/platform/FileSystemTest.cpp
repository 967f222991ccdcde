#include "platform/FileSystem.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "tests/support/TestEnvironment.h"

namespace {

class FileSystemTest : public TestEnvironment {
protected:
  std::u16string Path(const std::string& name) const {
    const std::string native = (scratch() / name).string();
    return {native.begin(), native.end()};  // scratch paths are ASCII
  }
  // `writeTime` in whole seconds since 1970, set with 123456789 ns past it.
  void WriteFile(const std::string& name, const std::string& contents, int64_t writeTime = 0) {
    std::ofstream(scratch() / name, std::ios::binary) << contents;
    if (!writeTime) return;
    using namespace std::chrono;
    const sys_time<nanoseconds> time{seconds(writeTime) + nanoseconds(123456789)};
    std::filesystem::last_write_time(scratch() / name, file_clock::from_sys(time));
  }
};

TEST_F(FileSystemTest, AttributesGiveKindSizeAndWriteTimeSince1601) {
  WriteFile("file", std::string(1234, 'x'), 1577836800);  // 2020-01-01 00:00:00.123456789 UTC
  const auto file = platform::QueryFileAttributes(Path("file"));
  ASSERT_TRUE(file);
  EXPECT_FALSE(file->isDirectory);
  EXPECT_EQ(file->size, 1234u);
  EXPECT_EQ(file->lastWriteTime, 132223104001234567u);
  EXPECT_TRUE(platform::QueryFileAttributes(Path(""))->isDirectory);
  EXPECT_FALSE(platform::QueryFileAttributes(Path("missing")));
  EXPECT_FALSE(platform::QueryFileAttributes(Path("file") + u'\0' + u"x"));
}

TEST_F(FileSystemTest, CopyReplacesTheTargetWithContentsAndWriteTime) {
  const std::string contents(300 * 1024 + 7, 'c');  // several read buffers
  WriteFile("source", contents, 1600000000);
  WriteFile("target", "older and different");
  ASSERT_TRUE(platform::CopyFileReplacing(Path("source"), Path("target")));
  EXPECT_EQ(ReadFile(scratch() / "target"), contents);
  EXPECT_EQ(platform::QueryFileAttributes(Path("target"))->lastWriteTime,
            platform::QueryFileAttributes(Path("source"))->lastWriteTime);
}

TEST_F(FileSystemTest, FailedCopyLeavesTheTargetAndNoTemporaryFile) {
  WriteFile("target", "keep me");
  std::filesystem::create_directory(scratch() / "folder");
  EXPECT_FALSE(platform::CopyFileReplacing(Path("missing"), Path("target")));
  EXPECT_FALSE(platform::CopyFileReplacing(Path("folder"), Path("target")));
  EXPECT_FALSE(platform::CopyFileReplacing(Path("target"), Path("no/folder/target")));
  EXPECT_FALSE(platform::CopyFileReplacing(Path("target"), Path("folder")));
  EXPECT_EQ(ReadFile(scratch() / "target"), "keep me");
  const auto entries = std::distance(std::filesystem::directory_iterator(scratch()), {});
  EXPECT_EQ(entries, 2);
  EXPECT_TRUE(std::filesystem::is_empty(scratch() / "folder"));
}

TEST_F(FileSystemTest, DirectoriesAreCreatedOnceAndNeverDeletedAsFiles) {
  WriteFile("file", "x");
  EXPECT_TRUE(platform::MakeDirectory(Path("new")));
  EXPECT_TRUE(platform::MakeDirectory(Path("new")));  // exists afterwards
  EXPECT_TRUE(std::filesystem::is_directory(scratch() / "new"));
  EXPECT_FALSE(platform::MakeDirectory(Path("file")));
  EXPECT_FALSE(platform::MakeDirectory(Path("missing/child")));
  EXPECT_FALSE(platform::RemoveFile(Path("new")));
  EXPECT_TRUE(platform::RemoveFile(Path("file")));
  EXPECT_FALSE(platform::RemoveFile(Path("file")));
  EXPECT_FALSE(std::filesystem::exists(scratch() / "file"));
}

}  // namespace

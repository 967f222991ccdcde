#include "platform/FileSystem.h"

#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>

#include "tests/support/TestEnvironment.h"

namespace {

class FileSystemTest : public TestEnvironment {
protected:
  std::u16string Path(const std::string& name) const {
    const std::string native = (scratch() / name).string();
    return std::u16string(native.begin(), native.end());  // scratch paths are ASCII
  }
  void WriteFile(const std::string& name, const std::string& contents) {
    std::ofstream(scratch() / name, std::ios::binary) << contents;
  }
  void SetWriteTime(const std::string& name, time_t seconds, long nanoseconds) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, (scratch() / name).c_str(), times, 0), 0);
  }
  size_t EntryCount() const {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(scratch())) {
      ++count;
    }
    return count;
  }
};

TEST_F(FileSystemTest, AttributesGiveSizeKindAndWriteTimeSince1601) {
  WriteFile("file.bin", std::string(1234, 'x'));
  SetWriteTime("file.bin", 1577836800, 123456789);  // 2020-01-01 00:00:00.123456789 UTC
  const auto file = platform::GetFileAttributes(Path("file.bin"));
  ASSERT_TRUE(file);
  EXPECT_FALSE(file->isDirectory);
  EXPECT_EQ(file->size, 1234u);
  EXPECT_EQ(file->lastWriteTime, 132223104001234567u);

  std::filesystem::create_directory(scratch() / "folder");
  const auto folder = platform::GetFileAttributes(Path("folder"));
  ASSERT_TRUE(folder);
  EXPECT_TRUE(folder->isDirectory);

  EXPECT_FALSE(platform::GetFileAttributes(Path("missing")));
  EXPECT_FALSE(platform::GetFileAttributes(Path("file.bin") + u'\0' + u"x"));
}

TEST_F(FileSystemTest, NonAsciiPathsReachTheSameFile) {
  std::ofstream(scratch() / "r\xC3\xA9sum\xC3\xA9.txt") << "abc";
  const std::u16string path = Path("") + u"r\u00E9sum\u00E9.txt";
  const auto attributes = platform::GetFileAttributes(path);
  ASSERT_TRUE(attributes);
  EXPECT_EQ(attributes->size, 3u);
  EXPECT_TRUE(platform::DeleteFile(path));
  EXPECT_FALSE(std::filesystem::exists(scratch() / "r\xC3\xA9sum\xC3\xA9.txt"));
}

TEST_F(FileSystemTest, CopyReplacesTheTargetAndKeepsTheWriteTime) {
  const std::string contents(300 * 1024 + 7, 'c');  // several read buffers' worth
  WriteFile("source", contents);
  SetWriteTime("source", 1600000000, 500);
  WriteFile("target", "old contents that are longer than nothing");
  ASSERT_TRUE(platform::CopyFile(Path("source"), Path("target")));
  EXPECT_EQ(ReadFile(scratch() / "target"), contents);
  EXPECT_EQ(platform::GetFileAttributes(Path("target"))->lastWriteTime,
            platform::GetFileAttributes(Path("source"))->lastWriteTime);
  EXPECT_EQ(EntryCount(), 2u);  // no temporary copy left beside the target
}

TEST_F(FileSystemTest, FailedCopyLeavesTheTargetAsItWasAndNoTemporaryFile) {
  WriteFile("target", "keep me");
  std::filesystem::create_directory(scratch() / "folder");
  EXPECT_FALSE(platform::CopyFile(Path("missing"), Path("target")));
  EXPECT_FALSE(platform::CopyFile(Path("folder"), Path("target")));
  EXPECT_FALSE(platform::CopyFile(Path("target"), Path("no/such/folder/target")));
  EXPECT_FALSE(platform::CopyFile(Path("target"), Path("folder")));  // target is a directory
  EXPECT_EQ(ReadFile(scratch() / "target"), "keep me");
  EXPECT_EQ(EntryCount(), 2u);
  EXPECT_TRUE(std::filesystem::is_empty(scratch() / "folder"));
}

TEST_F(FileSystemTest, CreateDirectoryIsTrueWhenADirectoryExistsAfterwards) {
  EXPECT_TRUE(platform::CreateDirectory(Path("new")));
  EXPECT_TRUE(std::filesystem::is_directory(scratch() / "new"));
  EXPECT_TRUE(platform::CreateDirectory(Path("new")));
  WriteFile("file", "x");
  EXPECT_FALSE(platform::CreateDirectory(Path("file")));
  EXPECT_FALSE(platform::CreateDirectory(Path("missing/child")));
}

TEST_F(FileSystemTest, DeleteFileRemovesFilesOnly) {
  WriteFile("file", "x");
  EXPECT_TRUE(platform::DeleteFile(Path("file")));
  EXPECT_FALSE(std::filesystem::exists(scratch() / "file"));
  EXPECT_FALSE(platform::DeleteFile(Path("file")));
  std::filesystem::create_directory(scratch() / "folder");
  EXPECT_FALSE(platform::DeleteFile(Path("folder")));
  EXPECT_TRUE(std::filesystem::exists(scratch() / "folder"));
}

}  // namespace

#include "platform/FileSystem.h"

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "tests/support/FileTimes.h"
#include "tests/support/TestEnvironment.h"

namespace {

class FileSystemTest : public TestEnvironment {
protected:
  std::u16string Path(const std::string& name) const {
    const std::string native = (scratch() / name).string();
    return {native.begin(), native.end()};  // scratch paths are ASCII
  }
  // `writeTime` in 100 ns ticks since 1601, when given.
  void WriteFile(const std::string& name, const std::string& contents, uint64_t writeTime = 0) {
    std::ofstream(scratch() / name, std::ios::binary) << contents;
    if (writeTime) {
      ASSERT_TRUE(SetLastWriteTime(scratch() / name, writeTime));
    }
  }
};

TEST_F(FileSystemTest, AttributesGiveKindSizeAndWriteTimeSince1601) {
  WriteFile("file", std::string(1234, 'x'), 132223104001234567);  // 2020-01-01 00:00:00.1234567 UTC
  const auto file = platform::QueryFileAttributes(Path("file"));
  ASSERT_TRUE(file);
  EXPECT_FALSE(file->isDirectory);
  EXPECT_TRUE(file->isRegularFile);
  EXPECT_EQ(file->size, 1234u);
  EXPECT_EQ(file->lastWriteTime, 132223104001234567u);
  EXPECT_TRUE(platform::QueryFileAttributes(Path(""))->isDirectory);
  EXPECT_FALSE(platform::QueryFileAttributes(Path(""))->isRegularFile);
  EXPECT_FALSE(platform::QueryFileAttributes(Path("missing")));
  EXPECT_FALSE(platform::QueryFileAttributes(Path("file") + u'\0' + u"x"));
}

TEST_F(FileSystemTest, CopyReplacesTheTargetWithContentsAndWriteTime) {
  const std::string contents(300 * 1024 + 7, 'c');  // several read buffers
  WriteFile("source", contents, 132444736001234567);  // 2020-09-13 12:26:40.1234567 UTC
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

TEST_F(FileSystemTest, FilesOpenByNonAsciiPathsInEveryModeWithoutLineEndTranslation) {
  const std::u16string path = Path("") + u"K\u00fcche \u8349\U0001F600.txt";
  std::FILE* file = platform::OpenFile(path, platform::FileOpenMode::kReplace);
  ASSERT_NE(file, nullptr);
  std::fputs("one\r\n", file);
  ASSERT_EQ(std::fclose(file), 0);
  file = platform::OpenFile(path, platform::FileOpenMode::kAppend);
  ASSERT_NE(file, nullptr);
  std::fputs("two\n", file);
  ASSERT_EQ(std::fclose(file), 0);
  EXPECT_EQ(ReadFile(scratch() / std::filesystem::path(u"K\u00fcche \u8349\U0001F600.txt")), "one\r\ntwo\n");

  file = platform::OpenFile(path, platform::FileOpenMode::kRead);
  ASSERT_NE(file, nullptr);
  char text[16] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof(text), file), 9u);
  std::fclose(file);
  file = platform::OpenFile(path, platform::FileOpenMode::kReplace);
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_EQ(platform::QueryFileAttributes(path)->size, 0u);

  EXPECT_EQ(platform::OpenFile(Path("missing"), platform::FileOpenMode::kRead), nullptr);
  EXPECT_EQ(platform::OpenFile(Path("missing/file"), platform::FileOpenMode::kAppend), nullptr);
  EXPECT_EQ(platform::OpenFile(u"", platform::FileOpenMode::kReplace), nullptr);
  EXPECT_EQ(platform::OpenFile(path + u'\0' + u"x", platform::FileOpenMode::kReplace), nullptr);
  EXPECT_FALSE(std::filesystem::exists(scratch() / "missing"));
}

}  // namespace

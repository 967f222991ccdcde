// The export command of the stand-in host where only POSIX can set the scene: a file system of the
// test's own that fills up, and answers typed on a pipe as the terminal's input.

#include <sys/mount.h>
#include <unistd.h>

#include "tests/e2e/ExportCommandFixture.h"

namespace {

class ExportCommandPosixTest : public ExportCommandFixture {};

// --- Complete exports --------------------------------------------------------------------------

// The disk fills up while the file is written (a file system of the test's own, too small for
// the sample): no partial file, image or textures folder is left to pass for the drawing, and the
// user is told why.
TEST_F(ExportCommandPosixTest, ADiskThatFillsUpWhileWritingLeavesNothingAndSaysTheDiskIsFull) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a small file system";
  StoreSetting(u"FirstExport", 0);
  const fs::path disk = out() / "disk";
  fs::create_directories(disk);
  ASSERT_EQ(mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=16k"), 0) << std::strerror(errno);
  const fs::path file = disk / "sample.dae";
  const CommandResult result = Export("-o '" + file.string() + "'");
  const bool left = fs::exists(file), texturesLeft = fs::exists(disk / "sample_Textures");
  umount2(disk.c_str(), MNT_DETACH);
  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_EQ(MessageCaptions(result.output), std::vector<std::string>{"Ombrel TideLink - File not written"})
      << result.output;
  EXPECT_NE(result.output.find(file.string()), std::string::npos) << "the message names the chosen file";
  EXPECT_NE(result.output.find(std::generic_category().message(ENOSPC)), std::string::npos) << result.output;
  EXPECT_FALSE(left) << "the partial file was kept";
  EXPECT_FALSE(texturesLeft) << "the textures of a file not written were kept";
  ExpectEndedCleanly(result);
}

TEST_F(ExportCommandPosixTest, TheTerminalInterfaceEndsLikeTheHeadlessOne) {
  StoreSetting(u"FirstExport", 0);
  const fs::path file = out() / "asked.dae";
  // The file typed at the save question, then Enter at every box (its default button), through a
  // pipe as standard input.
  const ExportLock lock;
  const CommandResult result = RunCommand("/bin/sh -c \"printf '" + file.string() + "\\n\\n\\n\\n' | " +
                                          (binaryDirectory() / "tidelink-host").string() +
                                          " --ui terminal export -o '" + file.string() + "'\"");
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(EndLine(result), "export 1: complete: " + file.string());
  EXPECT_TRUE(fs::is_regular_file(file));
}

}  // namespace

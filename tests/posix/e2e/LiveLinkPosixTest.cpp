// The live link where only POSIX systems can make the launched renderer fail: its message window
// lives in the runtime folder, which must be the user's alone.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/e2e/LinkFixture.h"

namespace {

namespace fs = std::filesystem;

using LiveLinkPosixTest = LinkFixture;

// A renderer that the plug-in started and that could not come up says why in its launch log
// beside its outputs, which the host names.
TEST_F(LiveLinkPosixTest, ALaunchedRendererThatCannotComeUpSaysWhyInItsLaunchLog) {
  const fs::path outputs = scratch() / "renderer-output", runtime = scratch() / "shared-runtime";
  fs::create_directories(outputs);
  const ScopedEnvironment outputFolder("OMBREL_OUTPUT_DIR", outputs.string());
  // A runtime folder that others may read: the launched renderer refuses to open its window there.
  fs::create_directories(runtime);
  fs::permissions(runtime, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
  Write("answers.txt", "message yes\n");
  const CommandResult failed = RunCommand("TIDELINK_RUNTIME_DIR=" + runtime.string() + " " + LinkCommandLine(Document()));
  EXPECT_EQ(failed.status, 1) << failed.output;
  const fs::path log = outputs / "TideLink.log";
  EXPECT_NE(failed.output.find("no renderer read the drawing: none is running; the renderer that the plug-in started "
                               "says why in " + log.string()), std::string::npos) << failed.output;
  EXPECT_NE(ReadFile(log).find("cannot open a message window"), std::string::npos) << ReadFile(log);
}

}  // namespace

// What a person meets with the Linux tools of the project: the main job of scripts/run.sh (two runs
// of it at once), the COLLADA checker the README names, and a renderer whose files land on the
// always-full device.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/LinkFixture.h"
#include "tests/support/ExportLock.h"

namespace {

namespace fs = std::filesystem;

class UserSessionPosixTest : public LinkFixture {
protected:
  // The main job of scripts/run.sh with the programs built here, writing into `out`.
  static std::string MainJob(const fs::path& out) {
    return "env TIDELINK_BIN=" + binaryDirectory().string() + " /bin/bash " RUN_SAMPLE_SCRIPT " " + out.string();
  }

  // The main job exports, and the export's temporary document has one name per user: an export
  // test running beside it would refuse it.
  const ExportLock exportLock_;
};

// Every file of `folder` that the closing words of the main job's `output` name exists.
void ExpectNamedFilesExist(const std::string& output, const fs::path& folder) {
  const std::string prefix = folder.string() + "/";
  const size_t closing = output.find("The sample drawing was saved as");
  ASSERT_NE(closing, std::string::npos) << output;
  for (size_t at = output.find(prefix, closing); at != std::string::npos; at = output.find(prefix, at + 1)) {
    const size_t end = output.find_first_of(" \n\"'", at);
    const std::string named = output.substr(at, end == std::string::npos ? std::string::npos : end - at);
    EXPECT_TRUE(fs::exists(named)) << "names " << named << " which does not exist";
  }
}


// The README sends the user to the project's checker for four counts; they are what it prints,
// with the schema findings the format prescribes counted on one line.
TEST_F(UserSessionPosixTest, TheColladaCheckerPrintsTheFourCountsAndOneLineOfExpectedFindings) {
  const fs::path file = scratch() / "sample.dae";
  ASSERT_EQ(RunCommand(Program("tidelink-host") + " export -o " + file.string()).status, 0);
  const CommandResult checked = RunCommand("/usr/bin/python3 " READ_COLLADA_SCRIPT " " + file.string());
  ASSERT_EQ(checked.status, 0) << checked.output;
  std::vector<std::string> lines;
  std::istringstream text(checked.output);
  for (std::string line; std::getline(text, line);) lines.push_back(line.substr(0, line.find(' ')));
  EXPECT_EQ(lines, (std::vector<std::string>{"geometries", "triangles", "images", "nodes", "expected"}))
      << checked.output;
}

// A renderer whose files cannot be written (here each file's temporary is the system's always-full
// device, as on a full disk) says why and leaves nothing half written in their place.
TEST_F(UserSessionPosixTest, ARendererThatCannotWriteItsFilesSaysWhyAndLeavesNothingPartial) {
  const fs::path outputs = scratch() / "full";
  fs::create_directories(outputs);
  const fs::path summary = outputs / "scene.json", picture = outputs / "scene.png";
  for (const fs::path& file : {summary, picture}) fs::create_symlink("/dev/full", file.string() + ".partial");
  auto renderer = StartRenderer("--quiet --dump " + summary.string() + " --snapshot " + picture.string(), {}, "",
                                RendererOutput::kRead);
  const CommandResult result = Link(Document());
  ASSERT_EQ(result.status, 0) << result.output;
  for (const fs::path& file : {summary, picture}) {
    EXPECT_EQ(renderer->ReadLineStartingWith("cannot write " + file.string()),
              "cannot write " + file.string() + ": No space left on device");
    EXPECT_FALSE(fs::exists(fs::symlink_status(file.string() + ".partial"))) << file;
    EXPECT_FALSE(fs::is_symlink(file)) << file << " took the place of a full file";
  }
  renderer->Stop();
}

// The README's main job: the renderer it launches shows each update interleaved with the host's
// account, and the run ends by naming only files that this run wrote, whoever mirrored the link.
TEST_F(UserSessionPosixTest, TheMainJobShowsTheRenderersUpdatesAndNamesOnlyWhatItsRunWrote) {
  const fs::path out = scratch() / "out";
  const CommandResult launched = RunCommand(MainJob(out));
  ASSERT_EQ(launched.status, 0) << launched.output;
  EXPECT_NE(launched.output.find("Ombrel.exe mirrors \"" + (out / "sample.dae").string() + "\""), std::string::npos)
      << launched.output;
  EXPECT_NE(launched.output.find((out / "TideLink.png").string()), std::string::npos) << launched.output;
  ExpectNamedFilesExist(launched.output, out);

  // With a renderer started by hand the launched one's files are not this run's to name.
  fs::remove_all(out);
  auto renderer = StartRenderer();
  const CommandResult byHand = RunCommand(MainJob(out));
  ASSERT_EQ(byHand.status, 0) << byHand.output;
  EXPECT_EQ(byHand.output.find((out / "TideLink.png").string()), std::string::npos) << byHand.output;
  ExpectNamedFilesExist(byHand.output, out);
}

// A second run into the same folder changes nothing of the first's and says why it stops.
TEST_F(UserSessionPosixTest, ASecondMainJobLeavesTheFirstsFilesAlone) {
  const fs::path out = scratch() / "out";
  BackgroundProcess first(MainJob(out));
  ASSERT_EQ(first.ReadLineStartingWith("== the live link =="), "== the live link ==");
  const auto exported = fs::last_write_time(out / "sample.dae");
  const CommandResult second = RunCommand(MainJob(out));
  EXPECT_EQ(second.status, 1) << second.output;
  EXPECT_NE(second.output.find("another run is writing into " + out.string()), std::string::npos) << second.output;
  EXPECT_EQ(fs::last_write_time(out / "sample.dae"), exported);
  EXPECT_NE(first.ReadLineStartingWith("The sample drawing was saved as"), "");
  EXPECT_EQ(first.Wait(), 0);
}

}  // namespace

// Runs the export command of the stand-in host as a real process: the plug-in's menu command, the
// host's drawing stream on its own thread, the ticks, the messages and the file it leaves behind.
// The exports read back by the independent COLLADA readers are in tests/posix/e2e.

#include "tests/e2e/ExportCommandFixture.h"

namespace {

class ExportCommandTest : public ExportCommandFixture {};

// --- Complete exports --------------------------------------------------------------------------

TEST_F(ExportCommandTest, TheCommandWordMayFollowOptionsAndAPathKeepsItsSemicolons) {
  StoreSetting(u"FirstExport", 0);
  const fs::path file = out() / "semi;colon.dae";
  const ExportLock lock;
  const CommandResult result = RunCommand((binaryDirectory() / "tidelink-host").string() +
                                          " --host-version 25 export -o '" + file.string() + "'");
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(EndLine(result), "export 1: complete: " + file.string());
  EXPECT_TRUE(fs::is_regular_file(file));
  EXPECT_FALSE(fs::exists(out() / "semi.dae"));
}

// The chosen path reaches the host as UTF-8 and the disk as the system's own text, whatever the
// narrow code page: the file and its textures folder appear under their names and nowhere else.
TEST_F(ExportCommandTest, AFolderAndFileNamedOutsideTheCodePageGetTheExportUnderThoseNames) {
  StoreSetting(u"FirstExport", 0);
  const fs::path folder = out() / NonLatinName();
  fs::create_directories(folder);
  fs::path fileName = NonLatinName(), texturesName = NonLatinName();
  fileName += ".dae";
  texturesName += "_Textures";
  const fs::path file = folder / fileName;
  const CommandResult result = Export("-o '" + platform::Utf8FromPath(file) + "'");
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(EndLine(result), "export 1: complete: " + platform::Utf8FromPath(file));
  EXPECT_TRUE(fs::is_regular_file(file));
  ASSERT_TRUE(fs::is_directory(folder / texturesName)) << result.output;
  EXPECT_FALSE(fs::is_empty(folder / texturesName));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
  EXPECT_EQ(std::distance(fs::directory_iterator(out()), fs::directory_iterator()), 1);
}

// --- Ends without a file -----------------------------------------------------------------------

TEST_F(ExportCommandTest, EndOfStreamCancelsTheExportBeforeAndAfterData) {
  // Before any batch, inside the first batch (materials), inside the last one (instances).
  for (const char* count : {"0", "3", "45"}) {
    SCOPED_TRACE(std::string("--cancel-after ") + count);
    const fs::path file = out() / ("canceled-" + std::string(count) + ".dae");
    const CommandResult result = Export(std::string("--cancel-after ") + count + " -o '" + file.string() + "'");
    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_EQ(EndLine(result), "export 1: ended with \"Ombrel TideLink - Export canceled\"") << result.output;
    EXPECT_EQ(Count(MessageCaptions(result.output), "Ombrel TideLink - Export complete"), 0u);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(fs::exists(out() / ("canceled-" + std::string(count) + "_Textures")));
    ExpectEndedCleanly(result);
  }
}

TEST_F(ExportCommandTest, QuittingTheApplicationStopsTheExportWithoutAMessage) {
  StoreSetting(u"FirstExport", 0);
  const fs::path file = out() / "quit.dae";
  const CommandResult result =
      Export("--no-view-report --quit-after-stream --timeout 120 -o '" + file.string() + "'");
  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_EQ(EndLine(result), "export 1: ended without a message") << result.output;
  EXPECT_TRUE(MessageCaptions(result.output).empty()) << result.output;
  EXPECT_FALSE(fs::exists(file));
  ExpectEndedCleanly(result);
  EXPECT_EQ(Lines(result.output, "ui host-window enabled").size(), 1u) << result.output;
}

TEST_F(ExportCommandTest, ABatchThatNeverEndsKeepsTheExportCollectingPastTheQuietTime) {
  const fs::path file = out() / "endless.dae";
  const CommandResult result = Export("--endless-batch --timeout 8 -o '" + file.string() + "'");
  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_EQ(Lines(result.output, "export 1: did not end within 8 s; quitting it").size(), 1u) << result.output;
  EXPECT_EQ(MessageCaptions(result.output), std::vector<std::string>{"Ombrel TideLink - Materials in Ombrel"})
      << "only the first-export warning; nothing may finish or fail the export";
  EXPECT_FALSE(fs::exists(file));
  ExpectEndedCleanly(result);
}

TEST_F(ExportCommandTest, AViewThatIsNotAPerspectiveRefusesTheExport) {
  for (const char* view : {"sheet", "no-perspective"}) {
    SCOPED_TRACE(view);
    const fs::path file = out() / (std::string(view) + ".dae");
    const CommandResult result = Export(std::string("--view ") + view + " -o '" + file.string() + "'");
    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_EQ(MessageCaptions(result.output), std::vector<std::string>{"Ombrel TideLink - Perspective view needed"})
        << "refused before the first-export warning and the save dialog";
    EXPECT_TRUE(Lines(result.output, "ui save-dialog").empty()) << result.output;
    EXPECT_TRUE(Lines(result.output, "ui host-window").empty()) << result.output;
    EXPECT_TRUE(Lines(result.output, "scene handler registered").empty()) << result.output;
    EXPECT_FALSE(fs::exists(file));
    ExpectEndedCleanly(result);
  }
}

// A host without one of these services still gets its file: the steps that need the service are
// skipped. Without layers there is no sheet layer to refuse; without the document service the
// drawing counts as never saved.
TEST_F(ExportCommandTest, AHostWithoutAServiceTheExportCanDoWithoutStillGetsTheFile) {
  StoreSetting(u"FirstExport", 0);
  const struct {
    const char* service;
    const char* extra;
    const char* offered;
  } missing[] = {{"status-messages", "", "house.dae"}, {"view-pane-label", "", "house.dae"},
                 {"tools", "", "house.dae"},           {"program-variables", "", "house.dae"},
                 {"layers", " --view sheet", "house.dae"}, {"document", "", "untitled.dae"}};
  for (const auto& without : missing) {
    SCOPED_TRACE(without.service);
    const fs::path file = out() / (std::string(without.service) + ".dae");
    const CommandResult result = Export(std::string("--without ") + without.service + without.extra +
                                        " --document /plans/house.vwx -o '" + file.string() + "'");
    EXPECT_EQ(result.status, 0) << result.output;
    const auto dialogs = Lines(result.output, "ui save-dialog ");
    ASSERT_EQ(dialogs.size(), 1u) << result.output;
    EXPECT_NE(dialogs[0].find(std::string(" offered \"") + without.offered + "\""), std::string::npos) << dialogs[0];
    EXPECT_EQ(MessageCaptions(result.output), std::vector<std::string>{"Ombrel TideLink - Export complete"})
        << result.output;
    EXPECT_TRUE(fs::is_regular_file(file));
    ExpectEndedCleanly(result);
  }
}

TEST_F(ExportCommandTest, ACancelledSaveDialogChangesNothing) {
  StoreSetting(u"FirstExport", 0);
  const fs::path file = out() / "never.dae";
  const CommandResult result = Export(UiScript("save-cancel") + " -o '" + file.string() + "'");
  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_EQ(EndLine(result), "export 1: ended without a message") << result.output;
  EXPECT_TRUE(MessageCaptions(result.output).empty()) << result.output;
  EXPECT_TRUE(Lines(result.output, "ui host-window").empty()) << result.output;
  EXPECT_TRUE(Lines(result.output, "ui progress").empty()) << result.output;
  EXPECT_TRUE(Lines(result.output, "scene handler registered").empty()) << result.output;
  EXPECT_FALSE(fs::exists(file));
  ExpectEndedCleanly(result);
}

// A text as the interface's log quotes it: each backslash (Windows paths) escaped.
std::string BackslashesEscaped(const std::string& text) {
  std::string escaped;
  for (const char character : text) {
    if (character == '\\') escaped += '\\';
    escaped += character;
  }
  return escaped;
}

// A file that could not be written is reported as such, with the system's reason, never left to
// pass for a saved one nor for a view without 3D objects. A folder under a regular file cannot be
// written by anyone, the superuser included.
TEST_F(ExportCommandTest, AFileThatCannotBeWrittenEndsWithAMessageNamingItAndTheReason) {
  StoreSetting(u"FirstExport", 0);
  fs::create_directories(out() / "taken.dae");
  std::ofstream(out() / "plain") << "a file, not a folder";
  const std::pair<fs::path, int> cases[] = {{out() / "missing-folder" / "unwritable.dae", ENOENT},
                                            {out() / "taken.dae", kErrorOpeningADirectory},
                                            {out() / "plain" / "unwritable.dae", kErrorPathThroughAFile}};
  for (const auto& [file, error] : cases) {
    const CommandResult result = Export("-o '" + file.string() + "'");
    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_EQ(MessageCaptions(result.output), std::vector<std::string>{"Ombrel TideLink - File not written"})
        << result.output;
    EXPECT_NE(result.output.find(BackslashesEscaped(file.string())), std::string::npos)
        << "the message names the chosen file";
    EXPECT_NE(result.output.find(std::generic_category().message(error)), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find("no 3D objects"), std::string::npos) << result.output;
    EXPECT_FALSE(fs::is_regular_file(file));
    ExpectEndedCleanly(result);
  }
}

TEST_F(ExportCommandTest, TheHostSaysWhyNoFileWasWritten) {
  StoreSetting(u"FirstExport", 0);
  fs::create_directories(out() / "taken.dae");
  fs::create_directories(out() / "locked");
  fs::permissions(out() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  const std::pair<fs::path, std::string> cases[] = {
      {out() / "missing-folder" / "a.dae", "; the folder " + (out() / "missing-folder").string() + " does not exist"},
      {out() / "taken.dae", "; " + (out() / "taken.dae").string() + " is a folder"},
  };
  for (const auto& [file, reason] : cases) {
    const CommandResult result = Export("-o '" + file.string() + "'");
    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_TRUE(EndLine(result).ends_with(reason)) << EndLine(result);
  }
  // Permissions bind everyone but the superuser, who may write there all the same.
  const bool bound = !std::ofstream(out() / "locked" / "probe");
  if (bound) {
    const CommandResult result = Export("-o '" + (out() / "locked" / "a.dae").string() + "'");
    EXPECT_TRUE(EndLine(result).ends_with("; the folder " + (out() / "locked").string() + " is not writable"))
        << EndLine(result);
  }
  fs::permissions(out() / "locked", fs::perms::owner_all);
}

TEST_F(ExportCommandTest, ATexturesFolderThatCannotBeMadeLosesOnlyTheImagesAndLogsEachOne) {
  StoreSetting(u"FirstExport", 0);
  const fs::path file = out() / "sample.dae";
  std::ofstream(out() / "sample_Textures") << "a file where the folder would go";
  const CommandResult result = Export("-o '" + file.string() + "'");
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(EndLine(result), "export 1: complete: " + file.string());
  EXPECT_EQ(ReadFile(file).find("<image id="), std::string::npos);
  const auto logged = TextsBetween(ReadFile(debugLogPath()), "COLLADA export: texture ", " not written into");
  EXPECT_GE(logged.size(), 2u) << ReadFile(debugLogPath());
  EXPECT_EQ(std::set<std::string>(logged.begin(), logged.end()).size(), logged.size());
}

// The host names the message that ended the export; the first-export warning, shown before the
// save dialog, ends nothing.
TEST_F(ExportCommandTest, TheFirstExportWarningIsNotReportedAsTheEndOfTheExport) {
  const CommandResult result = Export(UiScript("save-cancel") + " -o '" + (out() / "never.dae").string() + "'");
  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_EQ(MessageCaptions(result.output), std::vector<std::string>{"Ombrel TideLink - Materials in Ombrel"});
  EXPECT_EQ(EndLine(result), "export 1: ended without a message") << result.output;
}

// The module's task pool starts worker threads in its own library; unloading the module must not
// leave them running in unmapped code while the host exits.
TEST_F(ExportCommandTest, TheHostSurvivesUnloadingTheModuleRightAfterAnExport) {
  StoreSetting(u"FirstExport", 0);
  for (int run = 0; run < 40; ++run) {
    const CommandResult result =
        Export("--no-view-report --quit-after-stream --timeout 120 -o '" + (out() / "quit.dae").string() + "'");
    ASSERT_EQ(result.status, 1) << "run " << run << ":\n" << result.output;
  }
}

// --- Dialog defaults and state kept between exports ---------------------------------------------

TEST_F(ExportCommandTest, TheOfferedNameComesFromTheDrawingsOwnFile) {
  StoreSetting(u"FirstExport", 0);
  CommandResult result = Export(UiScript("save-cancel") + " -o '" + (out() / "x.dae").string() + "'");
  EXPECT_EQ(Lines(result.output, "ui save-dialog "),
            std::vector<std::string>{
                "ui save-dialog \"Save as Ombrel COLLADA\" offered \"untitled.dae\" in \"\" -> cancelled"})
      << result.output;

#ifdef _WIN32
  // The dialog is given the folder in the system's own spelling; the log doubles each backslash.
  const std::string folder = "\\\\some\\\\dir", dottedFolder = "\\\\some\\\\v1.2";
#else
  const std::string folder = "/some/dir", dottedFolder = "/some/v1.2";
#endif
  result = Export(UiScript("save-cancel") + " --document /some/dir/house.vwx -o '" + (out() / "x.dae").string() + "'");
  const auto dialogs = Lines(result.output, "ui save-dialog ");
  ASSERT_EQ(dialogs.size(), 1u) << result.output;
  EXPECT_EQ(dialogs[0].rfind("ui save-dialog \"Save as Ombrel COLLADA\" offered \"house.dae\" in \"" + folder + "\"", 0), 0u)
      << dialogs[0];

  // Only the last dot starts the extension; a folder with dots keeps its name.
  result = Export(UiScript("save-cancel") + " --document /some/v1.2/house.plan.vwx -o '" + (out() / "x.dae").string() +
                  "'");
  const auto dotted = Lines(result.output, "ui save-dialog ");
  ASSERT_EQ(dotted.size(), 1u) << result.output;
  EXPECT_EQ(
      dotted[0].rfind("ui save-dialog \"Save as Ombrel COLLADA\" offered \"house.plan.dae\" in \"" + dottedFolder + "\"", 0),
      0u)
      << dotted[0];
}

TEST_F(ExportCommandTest, AChosenPathWithoutAnyDotGetsTheExtension) {
  if (out().string().find('.') != std::string::npos) GTEST_SKIP() << "the scratch folder itself has a dot";
  StoreSetting(u"FirstExport", 0);
  const fs::path dotted = out() / "v1.2";
  fs::create_directories(dotted);
  const CommandResult result = Export(UiScript("save " + (out() / "plain").string() + "\nsave " +
                                               (dotted / "plain").string()) +
                                      " --repeat 2 -o '" + (out() / "unused.dae").string() + "'");
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_TRUE(fs::is_regular_file(out() / "plain.dae")) << result.output;
  EXPECT_FALSE(fs::exists(out() / "plain"));
  // A dot anywhere in the path counts, so the file in the dotted folder keeps its bare name.
  EXPECT_TRUE(fs::is_regular_file(dotted / "plain")) << result.output;
  EXPECT_FALSE(fs::exists(dotted / "plain.dae"));
  ExpectEndedCleanly(result);
}

TEST_F(ExportCommandTest, TheFirstExportWarningIsShownOnceAcrossHostRuns) {
  const std::string cancel = UiScript("save-cancel");
  const CommandResult first = Export(cancel + " -o '" + (out() / "x.dae").string() + "'");
  EXPECT_EQ(Count(MessageCaptions(first.output), "Ombrel TideLink - Materials in Ombrel"), 1u) << first.output;
  // Cancelling the dialog does not bring the warning back: it was stored when shown.
  const CommandResult second = Export("--repeat 2 -o '" + (out() / "y.dae").string() + "'");
  EXPECT_EQ(second.status, 0) << second.output;
  EXPECT_EQ(Count(MessageCaptions(second.output), "Ombrel TideLink - Materials in Ombrel"), 0u) << second.output;
}

}  // namespace

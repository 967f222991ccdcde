// The live link end to end: tidelink-host plays the user and the CAD application, Ombrel.exe the
// renderer, each a real process. After every edit step what the renderer mirrors must be what the
// host's drawing holds (MirroredDrawing.h).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/TextConversion.h"
#include "tests/e2e/HostBuild.h"
#include "tests/e2e/LinkFixture.h"
#include "tests/e2e/MirroredDrawing.h"
#include "tests/support/BackgroundProcess.h"
#include "tests/support/TestEnvironment.h"
#include "tools/renderer/LinkReader.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

using LiveLinkTest = LinkFixture;

// Paced edits reach the plug-in between ticks; the host's edit log and the renderer's read log,
// both on the steady clock, say when each was handed over and when each version was read.
TEST_F(LiveLinkTest, PacedEditsAreLoggedWhenHandedOverAndEachReadWhenDone) {
  const fs::path reads = scratch() / "reads.jsonl";
  auto renderer = StartRenderer("--read-log " + reads.string());
  const fs::path editLog = scratch() / "edit-log.jsonl";
  const std::string script = "wait 0.5\nmove house 1500 0 0\nwait 0.5\nmove pool 0 500 0\nwait 0.5\n";
  const CommandResult result =
      Link(Document() + " --paced --edit-log " + editLog.string() + " --edits " + Write("edits.txt", script).string());
  ASSERT_EQ(result.status, 0) << result.output;
  renderer->Stop();
  ExpectMirroredInOrder();

  const std::vector<json> log = ReadJsonLines(editLog);
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0]["event"], "start");
  EXPECT_EQ(log[0]["tick_ms"], 50);
  EXPECT_EQ(log[1]["event"], "drawing sent");
  EXPECT_EQ(log[2]["edit"], "move house 1500 0 0");
  EXPECT_EQ(log[3]["line"], 4);
  EXPECT_LT(int64_t(log[0]["at_ns"]), int64_t(log[1]["at_ns"]));
  EXPECT_LT(int64_t(log[1]["at_ns"]), int64_t(log[2]["handed_ns"]));
  EXPECT_LT(int64_t(log[2]["handed_ns"]), int64_t(log[3]["handed_ns"]));

  const std::vector<json> history = ReadJsonLines(historyPath());
  const std::vector<json> read = ReadJsonLines(reads);
  // Reads and history lines need not pair one to one (a renderer woken twice for one version reads
  // it twice; the history keeps a drawing when it changed): each drawing in the history was read.
  ASSERT_FALSE(history.empty());
  for (const json& drawing : history) {
    const auto found = std::find_if(read.begin(), read.end(),
                                    [&](const json& entry) { return entry["version"] == drawing["version"]; });
    ASSERT_NE(found, read.end()) << drawing.dump();
    EXPECT_LE(int64_t((*found)["locked_ns"]), int64_t((*found)["unlocked_ns"]));
    EXPECT_LE(int64_t((*found)["unlocked_ns"]), int64_t((*found)["read_ns"]));
    EXPECT_EQ((*found)["surfaces"], drawing["surfaces"].size());
  }
  // The last edit is read after it was handed over.
  EXPECT_GT(int64_t(read.back()["read_ns"]), int64_t(log[3]["handed_ns"]));
}

TEST_F(LiveLinkTest, EveryEditStepIsMirroredAfterTheTickThatCommitsIt) {
  auto renderer = StartRenderer();
  std::vector<std::string> steps = {
      "move house 1500 -250 100",
      "rotate plinth 30",
      "mirror ramp",
      "materials post Concrete \"Brick wall\"",
      "materials lawn \"No such material\"",
      "remove window-2",
      "add shed box 8000 8000 0 \"Roof tiles\" \"Painted steel\"",
      "replace wedge box",
      "colour Lawn 0.1 0.7 0.3",
      "opacity \"Pool water\" 0.5",
      "colour \"Brick wall\" 0.9 0.1 0.1",
      "texture \"Leaf screen\" none",
      "texture Lawn /usr/share/assimp/models/glTF/BoxTextured-glTF/CesiumLogoFlat.png",
      "touch Concrete",
      "view -12000 -15000 8000 0.6 0.7 -0.3 0.2 0.2 0.95 36 50",
      "view -1000 -2000 1500 0 1 0 0 0 1 20 1e9",
      "view 0 0 0 1 0 0 0 0 1 36 0",
      "view 100 200 300 0 0 0 0 0 1 36 50",
      "view -5000 -5000 2000 1 1 0 0 0 1 36 35",
      "script TideLink_CameraStop",
      "view 0 -9000 2000 0 1 0 0 0 1 36 50",
      "script TideLink_CameraStart",
      "layer sheet",
      "move pool 0 500 0",
      "layer design",
      "projection 0",
      "view 0 -9000 9000 0 1 -1 0 1 1 36 50",
      "projection 1",
      "remove screen",
  };
  // The renderer cannot acknowledge a read, so each commit is given time to be read before the
  // next one overwrites it: the whole drawing more, since a sanitizer build reads it slowly.
  std::string script = "# every kind of drawing edit, and the camera and layer states between them\nwait 1.5\n";
  for (const std::string& step : steps) script += step + "\nwait 0.5\n";
  const CommandResult result = Link(Document() + " --edits " + Write("edits.txt", script).string());
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find("edit line 11: no material \"No such material\""), std::string::npos) << result.output;
  renderer->Stop();
  ExpectMirroredInOrder();
}

// Replacing a geometry is the script's last edit, so no later operation can rebuild the surfaces
// on it by chance: the renderer's last update must hold the new triangles of every instance.
TEST_F(LiveLinkTest, AReplacedGeometryReachesTheRendererOnItsOwn) {
  auto renderer = StartRenderer();
  const CommandResult result =
      Link(Document() + " --edits " + Write("edits.txt", "wait 1.5\nreplace box wedge\nwait 1\n").string());
  ASSERT_EQ(result.status, 0) << result.output;
  renderer->Stop();
  ExpectMirroredInOrder();
}

// The plug-in goes on without a renderer, but the host does not call that mirrored: it fails and
// says why.
TEST_F(LiveLinkTest, ADrawingThatNoRendererReadIsNotCalledMirrored) {
  const CommandResult none = Link(Document());
  EXPECT_EQ(none.status, 1) << none.output;
  EXPECT_NE(none.output.find("link: failed: no renderer read the drawing: none is running"), std::string::npos)
      << none.output;
  EXPECT_EQ(none.output.find("the drawing is mirrored"), std::string::npos) << none.output;
}

TEST_F(LiveLinkTest, AFaultyEditScriptSendsNothingAndNamesTheLine) {
  const CommandResult unknown = Link(Document() + " --edits " + Write("bad.txt", "move house 1 2 3\nfly house\n").string());
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.output.find("line 2: unknown step \"fly\""), std::string::npos) << unknown.output;
  EXPECT_EQ(unknown.output.find("scene handler registered"), std::string::npos) << unknown.output;
  const CommandResult number = Link(Document() + " --edits " + Write("bad.txt", "\n\ncolour Lawn 0.5 x 1\n").string());
  EXPECT_EQ(number.status, 2);
  EXPECT_NE(number.output.find("line 3: bad number \"x\""), std::string::npos) << number.output;
  const CommandResult range = Link(Document() + " --edits " + Write("bad.txt", "opacity Lawn 1.5\n").string());
  EXPECT_EQ(range.status, 2);
  EXPECT_NE(range.output.find("line 1: bad number \"1.5\""), std::string::npos) << range.output;
}

TEST_F(LiveLinkTest, StartIsRefusedOnANeverSavedDrawingAndOnASheetLayer) {
  auto renderer = StartRenderer();
  const CommandResult unsaved = Link("");
  EXPECT_EQ(unsaved.status, 1);
  EXPECT_NE(unsaved.output.find("ui message-box \"Ombrel TideLink - Save your drawing\""), std::string::npos)
      << unsaved.output;
  EXPECT_NE(unsaved.output.find("status (neutral): \nlink: failed: the link did not start"), std::string::npos)
      << unsaved.output;

  const CommandResult sheet = Link(Document() + " --view sheet");
  EXPECT_EQ(sheet.status, 1);
  EXPECT_NE(sheet.output.find("TideLink cannot start on a sheet layer"), std::string::npos) << sheet.output;
  EXPECT_NE(sheet.output.find("link: failed: the link did not start"), std::string::npos) << sheet.output;
  EXPECT_EQ(sheet.output.find("scene handler registered"), std::string::npos) << sheet.output;
}

TEST_F(LiveLinkTest, EveryWayOfEndingTheLinkEndsItWithItsOwnStatus) {
  auto renderer = StartRenderer();
  for (const std::string way : {"button", "script", "quit", "close", "save-as"}) {
    const CommandResult result = Link(Document() + " --stop-with " + way);
    EXPECT_EQ(result.status, 0) << way << "\n" << result.output;
  }
  // A start while the active drawing is linked returns false and leaves the link as it was.
  const CommandResult again = Link(Document() + " --via-script --stop-with script --edits " +
                                   Write("again.txt", "script TideLink_Start\nsave\n").string());
  EXPECT_EQ(again.status, 0) << again.output;
  EXPECT_NE(again.output.find("script function TideLink_Start\nscript result: false"), std::string::npos)
      << again.output;
  // Saving under its own name keeps the link; under another name ends it.
  const CommandResult savedAway = Link(Document() + " --stop-with save-as --edits " +
                                       Write("saveas.txt", "save-as " + (scratch() / "elsewhere.vwx").string() + "\n").string());
  EXPECT_EQ(savedAway.status, 0) << savedAway.output;
  EXPECT_NE(savedAway.output.find("link: ended with \"TideLink has ended"), std::string::npos) << savedAway.output;
}

// A host without the label or the layers still gets its drawing mirrored; one whose view
// variable cannot be read counts as a view that is off, so the link pauses at the first tick.
TEST_F(LiveLinkTest, AHostWithoutOneServiceLinksWithoutWhatNeedsIt) {
  auto renderer = StartRenderer();
  const CommandResult noLabel = Link(Document() + " --without view-pane-label");
  EXPECT_EQ(noLabel.status, 0) << noLabel.output;
  EXPECT_EQ(noLabel.output.find("view-pane label"), std::string::npos) << noLabel.output;
  const CommandResult noLayers = Link(Document() + " --without layers");
  EXPECT_EQ(noLayers.status, 0) << noLayers.output;
  const CommandResult noVariables = Link(Document() + " --without program-variables");
  EXPECT_NE(noVariables.output.find("link: started"), std::string::npos) << noVariables.output;
  EXPECT_NE(noVariables.output.find("the drawing was not mirrored (link paused"), std::string::npos)
      << noVariables.output;
}

TEST_F(LiveLinkTest, TheRendererClosingTheLinkEndsIt) {
  auto renderer = StartRenderer("--close-after 2");
  const CommandResult result = Link(Document() + " --stop-with renderer --edits " +
                                    Write("move.txt", "move house 100 0 0\n").string());
  EXPECT_EQ(result.status, 0) << result.output;
}

TEST_F(LiveLinkTest, PauseOnASheetLayerAndADrawingSwitchShowInTheToolAndCommitOnReturn) {
  auto renderer = StartRenderer();
  const std::string other = (scratch() / "other.vwx").string();
  const CommandResult result = Link(Document() + " --edits " + Write("states.txt",
      "layer sheet\nbutton 1 0\nlayer design\nswitch " + other + "\nmove house 0 0 500\nswitch back\n").string());
  ASSERT_EQ(result.status, 0) << result.output;
  const std::vector<json> expected = ReadJsonLines(expectedPath());
  ASSERT_EQ(expected.size(), 7u);
  const char* states[] = {"running", "paused", "paused", "running", "idle", "idle", "running"};
  for (size_t step = 0; step < expected.size(); ++step) EXPECT_EQ(expected[step]["link"], states[step]) << step;
  // Resuming on the sheet layer is refused; the tool shows both choices while paused.
  EXPECT_NE(result.output.find("[1 resume.png \"Resume TideLink\" | stop.png \"Stop TideLink\"]"), std::string::npos);
  EXPECT_NE(result.output.find("ui message-box \"Ombrel TideLink - "), std::string::npos);
  EXPECT_NE(result.output.find("edit line 5: the active drawing is not the one of the model"), std::string::npos);
  // The drawing switched back to is the linked one again, but its label stays removed.
  const size_t switchedBack = result.output.find("edit line 6: switch back");
  ASSERT_NE(switchedBack, std::string::npos);
  EXPECT_EQ(result.output.find("view-pane label \"OmbrelTideLink\" in pane", switchedBack), std::string::npos);
  renderer->Stop();
  ExpectMirroredInOrder();
}

TEST_F(LiveLinkTest, TheModeBarShowsEveryStateAndTheCamera) {
  auto renderer = StartRenderer();
  const CommandResult result = Link(Document() + " --edits " + Write("bar.txt",
      "button 2\nbutton 2\nprojection 0\nprojection 1\nbutton 2\nclick 0\nclick 1\nbutton 3\n").string());
  ASSERT_EQ(result.status, 0) << result.output;
  const std::string& out = result.output;
  // Idle: start, camera on hold and disabled, settings and save enabled.
  EXPECT_NE(out.find("mode bar: [0 about.png \"About Ombrel TideLink\"] [1 start.png \"Start TideLink\"] "
                     "[2 camera_start.png \"Camera sync on hold\" disabled] [3 settings.png \"Settings\"] "
                     "[4 save.png \"Save as Ombrel COLLADA\"]"),
            std::string::npos)
      << out;
  // Running with sync on, then off; settings and save disabled while linked.
  EXPECT_NE(out.find("[1 stop.png \"Stop TideLink\"] [2 camera_stop.png \"Stop camera sync\"] "
                     "[3 settings.png \"Settings\" disabled] [4 save.png \"Save as Ombrel COLLADA\" disabled]"),
            std::string::npos);
  EXPECT_NE(out.find("[2 camera_start.png \"Start camera sync\"]"), std::string::npos);
  // A parallel projection takes the camera away while the link runs: the button offers to resume it.
  EXPECT_NE(out.find("[2 camera_start.png \"Resume camera sync\"]"), std::string::npos);
  // The label's about item hides the camera text; the camera item switches synchronisation.
  EXPECT_NE(out.find("[\"OmbrelTideLinkForVectorworks/Images/label_camera_start.png\" \"\"]"), std::string::npos);
  EXPECT_NE(out.find("status (normal): Camera sync"), std::string::npos);
}

TEST_F(LiveLinkTest, AReducedHostOnlyExplainsTheVersion) {
  const CommandResult result = Link(Document() + " --host-version 24");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.output.find("mode bar: [0 about.png \"About Ombrel TideLink\"] [1 version.png"), std::string::npos)
      << result.output;
  EXPECT_NE(result.output.find("Version not supported"), std::string::npos) << result.output;
}

TEST_F(LiveLinkTest, ThePluginLaunchesTheInstalledRendererWhichKeepsItsSummaryAndPicture) {
  const fs::path outputs = scratch() / "renderer-output";
  fs::create_directories(outputs);
  const ScopedEnvironment outputFolder("OMBREL_OUTPUT_DIR", outputs.string());
  // No renderer runs: the plug-in asks, is told yes, and launches the installed one.
  BackgroundProcess host(Program("tidelink-host") + " link --seconds 10 --ui-script " +
                         Write("yes.txt", "message yes\n").string() + Document());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  // The renderer writes them while the host links; a host that ended has nothing more to give.
  while (!(fs::exists(outputs / "TideLink.json") && fs::exists(outputs / "TideLink.png")) && !host.HasEnded() &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(fs::exists(outputs / "TideLink.json"));
  EXPECT_TRUE(fs::exists(outputs / "TideLink.png"));
  EXPECT_NE(host.ReadLineStartingWith("link: ended"), "");
  EXPECT_EQ(host.Wait(), 0);
  const json summary = json::parse(ReadFile(outputs / "TideLink.json"));
  EXPECT_EQ(summary["surfaces"].size(), 9u);
}

// More materials than the 5000-block document has room for: every surface that fits is mirrored
// whole, each of the others is named once in the debug log, and the link runs and ends as usual.
TEST_F(LiveLinkTest, SurfacesBeyondAFullDocumentAreLeftOutAndNamedOnceInTheDebugLog) {
  if (!kHostReadsModels) GTEST_SKIP() << kWithoutModelImport;
  constexpr int kMaterials = 5010;
  // Blocks: 5000, less the view and status records, the plug-in's default material and the
  // model's own default one.
  constexpr int kMirrored = 5000 - 2 - 2;
  {
    std::ofstream materials(scratch() / "many.mtl"), model(scratch() / "many.obj");
    model << "mtllib many.mtl\n";
    for (int index = 0; index < kMaterials; ++index) {
      materials << "newmtl m" << index << "\nKd 0.5 0.5 0.5\n";
      model << "v " << index << " 0 0\nv " << index << ".5 0 0\nv " << index << " 1 0\nusemtl m" << index
            << "\nf -3 -2 -1\n";
    }
  }
  // Its output goes to a file: a line per surface and update would fill a pipe nobody reads.
  const fs::path rendererOutput = scratch() / "renderer.txt";
  BackgroundProcess renderer(Program("Ombrel.exe") + " --seconds 600 > " + rendererOutput.string());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(240);
  while (ReadFile(rendererOutput).find("is waiting for TideLink") == std::string::npos && !renderer.HasEnded() &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  BackgroundProcess host(Program("tidelink-host") + " link --timeout 300 --stop-with renderer --ui-script " +
                         (scratch() / "answers.txt").string() + " --drawing " + (scratch() / "many.obj").string() +
                         Document() + " > " + (scratch() / "host.txt").string() + " 2>&1");

  // Read as the renderer reads, until every surface that fits has its triangle from both sides.
  const std::u16string name = platform::Utf16FromUtf8(fs::path(document_).replace_extension(".dae").string());
  LinkReader reader;
  MirroredScene scene;
  std::string problem;
  size_t meshes = 0;
  while (meshes < kMirrored && !host.HasEnded() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    if (reader.documentName().empty() && !reader.Open(name, problem)) continue;
    scene = MirroredScene{};
    if (!reader.Read(scene)) continue;
    meshes = size_t(std::count_if(scene.surfaces.begin(), scene.surfaces.end(),
                                  [](const MirroredSurface& surface) { return surface.triangleCount() == 2; }));
  }
  EXPECT_EQ(meshes, size_t(kMirrored)) << problem;
  EXPECT_EQ(scene.surfaces.size(), size_t(kMirrored + 2));
  EXPECT_EQ(scene.problems, std::vector<std::string>{});
  std::set<std::u16string> names;
  for (const MirroredSurface& surface : scene.surfaces) names.insert(surface.name);
  EXPECT_EQ(names.size(), scene.surfaces.size()) << "two records show the same surface";
  reader.CloseLink();
  EXPECT_EQ(host.Wait(), 0) << ReadFile(scratch() / "host.txt");

  std::vector<std::string> leftOut;
  std::istringstream log(ReadFile(debugLogPath()));
  for (std::string line; std::getline(log, line);) {
    const size_t at = line.find("is full: surface ");
    if (at != std::string::npos) leftOut.push_back(line.substr(at + 17, line.find(' ', at + 17) - at - 17));
  }
  std::vector<std::string> expected;
  for (int index = kMirrored; index < kMaterials; ++index) {
    expected.push_back(std::string("m").append(std::to_string(index)));
  }
  EXPECT_EQ(leftOut, expected);
}

}  // namespace

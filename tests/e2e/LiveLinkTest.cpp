// The live link end to end: tidelink-host plays the user and the CAD application, Ombrel.exe the
// renderer, each a real process. After every edit step what the renderer mirrors must be what the
// host's drawing holds, worked out here from the host's own account of its drawing (its
// transforms, its per-surface materials), never from the plug-in's code.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/ProcessList.h"
#include "platform/TextConversion.h"
#include "tests/support/BackgroundProcess.h"
#include "tests/support/TestEnvironment.h"
#include "tools/renderer/LinkReader.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::vector<json> ReadJsonLines(const fs::path& path) {
  std::vector<json> lines;
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    if (!line.empty()) lines.push_back(json::parse(line));
  }
  return lines;
}

bool Near(double a, double b) { return std::abs(a - b) <= 1e-4 + 1e-5 * std::abs(b); }

// The surface type the renderer must show for the sample's material names: water and glass are
// told by name, water first.
int SurfaceTypeOf(const std::string& name) {
  if (name.find("water") != std::string::npos || name.find("Water") != std::string::npos) return 1;
  if (name.find("glass") != std::string::npos || name.find("Glass") != std::string::npos) return 2;
  return 0;
}

int Channel(double value) { return int(std::trunc(value * 255)) & 255; }

std::string ArgbText(const json& colour) {
  char text[12];
  std::snprintf(text, sizeof(text), "#%02X%02X%02X%02X", Channel(colour[3]), Channel(colour[0]), Channel(colour[1]),
                Channel(colour[2]));
  return text;
}

// The texture the plug-in makes of a material's images: the colour image's size when it is a
// real image (not 1 × 1), else the opacity image's, else 128 × 128; none without images.
json TextureSize(const json& material) {
  const json& colour = material["colourImage"];
  const json& opacity = material["opacityImage"];
  if (colour.is_null() && opacity.is_null()) return nullptr;
  if (!colour.is_null() && !(colour[0] == 1 && colour[1] == 1)) return {colour[0], colour[1]};
  if (!opacity.is_null()) return {opacity[0], opacity[1]};
  return {128, 128};
}

// Host millimetres with Z up as link coordinates: (x, z, y) · 0.001.
json LinkPoint(const json& host) { return {double(host[0]) * 0.001, double(host[2]) * 0.001, double(host[1]) * 0.001}; }

struct ExpectedSurface {
  std::string name;
  int type = 0;
  std::string colour;
  json texture;  // [width, height] or null
  uint64_t triangles = 0;
  json min, max;  // link coordinates, null when nothing is drawn
};

// What the renderer must show for one material entry of the host's account. Open geometries are
// drawn from both sides, so their triangles count twice; a textured surface carries its colours
// in the texture and shows white.
ExpectedSurface ExpectSurface(const json& material) {
  ExpectedSurface surface;
  const bool known = material["known"];
  surface.name = known ? std::string(material["name"]) : "Default material";
  surface.type = known ? SurfaceTypeOf(surface.name) : 0;
  surface.texture = known ? TextureSize(material) : json(nullptr);
  surface.colour = !known ? "#FFAAAAAA" : surface.texture.is_null() ? ArgbText(material["colour"]) : "#00FFFFFF";
  surface.triangles = uint64_t(material["solidTriangles"]) + 2 * uint64_t(material["openTriangles"]);
  surface.min = material["min"].is_null() ? json(nullptr) : LinkPoint(material["min"]);
  surface.max = material["max"].is_null() ? json(nullptr) : LinkPoint(material["max"]);
  return surface;
}

struct Camera {
  std::vector<double> matrix;  // 16, rows: right, up, direction, eye
  double fieldOfView = 0;
};

// The renderer's camera for a view report [eye, direction, up, unused, extent, focal]: rows in
// the renderer's axis order (host x, z, y), the eye in link units, the field of view never below
// 5°. Nothing for a report without a camera (focal 0); `valid` false when a vector has no length.
std::optional<Camera> CameraOf(const json& view, bool& valid) {
  const auto v = [&](int index) { return double(view[index]); };
  valid = true;
  if (v(11) == 0) return std::nullopt;
  const double d[3] = {v(3), v(4), v(5)}, u[3] = {v(6), v(7), v(8)};
  if (d[0] * d[0] + d[1] * d[1] + d[2] * d[2] <= 1e-6 || u[0] * u[0] + u[1] * u[1] + u[2] * u[2] <= 1e-6) {
    valid = false;
    return std::nullopt;
  }
  const double r[3] = {d[1] * u[2] - d[2] * u[1], d[2] * u[0] - d[0] * u[2], d[0] * u[1] - d[1] * u[0]};
  Camera camera;
  camera.matrix = {r[0], r[2], r[1], 0, u[0], u[2], u[1], 0, d[0], d[2], d[1], 0,
                   v(0) / 1000, v(2) / 1000, v(1) / 1000, 1};
  camera.fieldOfView = std::max(5.0, 2 * std::atan(v(10) / (2 * v(11))) * 180 / M_PI);
  return camera;
}

// Follows the renderer's camera through the host's steps: a view report reaches it while the
// camera is available and synchronisation is on (f = 0 clears it); switching synchronisation off
// clears it once, switching it on sends the last camera worked out.
class CameraModel {
public:
  void Step(const json& previous, const json& current) {
    const json& before = previous.is_null() ? current["camera"] : previous["camera"];
    if (!current["view"].is_null() && before["available"]) {
      bool valid = true;
      const std::optional<Camera> camera = CameraOf(current["view"], valid);
      last_ = camera;
      if (before["sync"] && valid) renderer_ = camera;
    }
    const json& after = current["camera"];
    if (!previous.is_null() && before["available"] && after["available"] && before["sync"] != after["sync"]) {
      renderer_ = after["sync"] ? last_ : std::nullopt;
    }
  }
  const std::optional<Camera>& renderer() const { return renderer_; }

private:
  std::optional<Camera> last_;
  std::optional<Camera> renderer_;
};

// Differences between what the renderer mirrored (one summary) and what it must show; empty when
// they agree.
std::string Differences(const json& mirrored, const std::vector<ExpectedSurface>& expected,
                        const std::optional<Camera>& camera) {
  std::ostringstream out;
  for (const ExpectedSurface& surface : expected) {
    const json* found = nullptr;
    for (const json& candidate : mirrored["surfaces"]) {
      if (candidate["name"] == surface.name) found = &candidate;
    }
    if (!found) {
      if (surface.triangles) out << surface.name << ": missing; ";
      continue;
    }
    const json& s = *found;
    if (s["type"] != surface.type) out << surface.name << ": type " << s["type"] << "; ";
    if (s["color"] != surface.colour) out << surface.name << ": colour " << s["color"] << " not " << surface.colour << "; ";
    if (s["triangles"] != surface.triangles) {
      out << surface.name << ": " << s["triangles"] << " triangles, not " << surface.triangles << "; ";
    }
    const json& texture = s["textures"][0];
    if (surface.texture.is_null() != texture.is_null() ||
        (!texture.is_null() && (texture["width"] != surface.texture[0] || texture["height"] != surface.texture[1]))) {
      out << surface.name << ": texture " << texture << " not " << surface.texture << "; ";
    }
    const json& bounds = s["bounds"];
    if (surface.min.is_null() != bounds.is_null()) {
      out << surface.name << ": bounds " << bounds << "; ";
    } else if (!bounds.is_null()) {
      for (int axis = 0; axis < 3; ++axis) {
        if (!Near(bounds["min"][axis], surface.min[axis]) || !Near(bounds["max"][axis], surface.max[axis])) {
          out << surface.name << ": bounds " << bounds << " not " << surface.min << "-" << surface.max << "; ";
          break;
        }
      }
    }
  }
  for (const json& s : mirrored["surfaces"]) {
    const bool expectedSurface = std::any_of(expected.begin(), expected.end(), [&](const ExpectedSurface& e) { return e.name == s["name"]; });
    if (!expectedSurface && s["triangles"] != 0) out << s["name"] << ": not in the drawing; ";
  }
  const json& shown = mirrored["camera"];
  if (camera.has_value() == shown.is_null()) {
    out << "camera " << shown << " not " << (camera ? "a camera" : "none") << "; ";
  } else if (camera) {
    for (int index = 0; index < 16; ++index) {
      if (!Near(shown["matrix"][index], camera->matrix[index])) {
        out << "camera matrix " << shown["matrix"] << "; ";
        break;
      }
    }
    if (!Near(shown["fieldOfView"], camera->fieldOfView)) out << "field of view " << shown["fieldOfView"] << "; ";
  }
  return out.str();
}

class LiveLinkTest : public TestEnvironment {
protected:
  void SetUp() override {
    TestEnvironment::SetUp();
    document_ = scratch() / "house.vwx";
    const CommandResult installed = RunCommand(Program("Ombrel.exe") + " --install " + (scratch() / "ombrel").string());
    ASSERT_EQ(installed.status, 0) << installed.output;
    // A renderer of the test's own runs beside the host; should the plug-in still ask whether to
    // start one, the answer is no, so that no second renderer holds the host's output open.
    Write("answers.txt", "message no\n");
  }
  void TearDown() override {
    StopLaunchedRenderers();
    TestEnvironment::TearDown();
  }

  static std::string Program(const std::string& name) { return (binaryDirectory() / name).string(); }

  fs::path Write(const std::string& name, const std::string& text) {
    const fs::path path = scratch() / name;
    std::ofstream(path) << text;
    return path;
  }

  // Ombrel.exe beside the host, appending every update to history.jsonl; ready once it waits.
  std::unique_ptr<BackgroundProcess> StartRenderer(const std::string& options = "") {
    auto renderer = std::make_unique<BackgroundProcess>(Program("Ombrel.exe") + " --seconds 600 --history " +
                                                        historyPath().string() + " " + options);
    EXPECT_NE(renderer->ReadLine().find("is waiting for TideLink"), std::string::npos);
    return renderer;
  }

  // The link command on the built-in sample, with the test's answers.
  CommandResult Link(const std::string& options) {
    return RunCommand(Program("tidelink-host") + " link --timeout 120 --ui-script " + (scratch() / "answers.txt").string() +
                      " --expected-states " + expectedPath().string() + " " + options);
  }
  std::string Document() const { return " --document " + document_.string(); }

  fs::path historyPath() const { return scratch() / "history.jsonl"; }
  fs::path expectedPath() const { return scratch() / "expected.jsonl"; }

  // Renderers the plug-in launched from the scratch install folder outlive the host; end them.
  void StopLaunchedRenderers() {
    const std::string installed = (scratch() / "ombrel" / "Ombrel.exe").string();
    for (const uint32_t process : platform::EnumerateProcesses()) {
      const auto image = platform::GetProcessImagePath(process);
      if (image && platform::Utf8FromUtf16(*image) == installed) kill(pid_t(process), SIGTERM);
    }
  }

  // Every step the host reports with the link running must appear among the renderer's updates,
  // in order.
  void ExpectMirroredInOrder() {
    const std::vector<json> expected = ReadJsonLines(expectedPath());
    const std::vector<json> history = ReadJsonLines(historyPath());
    ASSERT_FALSE(expected.empty());
    ASSERT_FALSE(history.empty());
    CameraModel camera;
    size_t position = 0;
    json previous;
    for (const json& step : expected) {
      camera.Step(previous, step);
      previous = step;
      if (step["link"] != "running") continue;
      std::vector<ExpectedSurface> surfaces;
      for (const json& material : step["materials"]) surfaces.push_back(ExpectSurface(material));
      std::string differences;
      size_t match = position;
      for (; match < history.size(); ++match) {
        differences = Differences(history[match], surfaces, camera.renderer());
        if (differences.empty()) break;
      }
      ASSERT_LT(match, history.size()) << "line " << step["line"] << " \"" << std::string(step["edit"])
                                       << "\" never mirrored; against the last update: " << differences;
      position = match;
    }
  }

  fs::path document_;
};

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
  EXPECT_NE(savedAway.output.find("link: ended with \"TideLink was disconnected"), std::string::npos) << savedAway.output;
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
  setenv("OMBREL_OUTPUT_DIR", outputs.c_str(), 1);
  // No renderer runs: the plug-in asks, is told yes, and launches the installed one.
  BackgroundProcess host(Program("tidelink-host") + " link --seconds 10 --ui-script " +
                         Write("yes.txt", "message yes\n").string() + Document());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!(fs::exists(outputs / "TideLink.json") && fs::exists(outputs / "TideLink.png")) &&
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
  while (ReadFile(rendererOutput).find("is waiting for TideLink") == std::string::npos &&
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
  while (meshes < kMirrored && std::chrono::steady_clock::now() < deadline) {
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

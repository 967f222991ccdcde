// What a person meets running the host and the renderer by hand: quitting the host from its
// terminal, buttons the tool does not offer, two links at once. Outcomes are judged by the host's account of each step and by the state of
// the services and files where those show them, else by the transcript the person reads. The main
// job's script, the COLLADA checker and the always-full device are in tests/posix/e2e.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/Registry.h"
#include "platform/SharedMemory.h"
#include "platform/TextConversion.h"
#include "tests/e2e/LinkFixture.h"
#include "tests/e2e/MirroredDrawing.h"
#include "tests/support/MappingCensus.h"
#include "transport/SharedMemoryChannel.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class UserSessionTest : public LinkFixture {};

size_t ConnectionValues() {
  platform::RegistryKey key;
  if (platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, u"Software\\Brisca\\LiveConnections", key) != 0) {
    return 0;
  }
  uint32_t subkeys = 0, values = 0;
  return key.QueryInfoKey(&subkeys, &values) == 0 ? values : 0;
}

// The shared memory objects of a host's link, live or abandoned: the main mapping and the segments
// named after the host.
std::vector<std::string> ObjectsOf(uint32_t host, const fs::path& drawing) {
  const std::u16string link = platform::Utf16FromUtf8(fs::path(drawing).replace_extension(".dae").string());
  std::vector<std::string> objects =
      MappingObjectsContaining(u"TideLinkAPI/" + platform::Utf16FromUtf8(std::to_string(host)) + u"/");
  if (MappingObjectExists(SharedMemoryChannel::MappingName(link))) objects.push_back("main mapping");
  return objects;
}

// A request to quit (Ctrl-C, kill or a closed terminal here; each signal's request is pinned by
// QuitSignalTest) ends the host as its user quitting would: the plug-in is told, ends the link,
// and nothing of it stays in the registry or in shared memory.
TEST_F(UserSessionTest, ARequestToQuitEndsTheLinkAndLeavesNothingBehind) {
  auto renderer = StartRenderer();
  BackgroundProcess host(LinkCommandLine(Document() + " --seconds 600"));
  ASSERT_NE(host.ReadLineStartingWith("link: running for"), "");
  const uint32_t pid = host.pid();
  ASSERT_EQ(ConnectionValues(), 1u);
  ASSERT_FALSE(ObjectsOf(pid, document_).empty());
  ASSERT_TRUE(platform::RequestProcessStop(pid));
  EXPECT_NE(host.Wait(), 0) << "a host asked to quit reports that it did not end as the link asked";
  EXPECT_EQ(ConnectionValues(), 0u);
  EXPECT_EQ(ObjectsOf(pid, document_), std::vector<std::string>{});
}

// A host delivers no click on a disabled or missing button, nor a choice the button lacks: each
// is refused, and the link runs on as if nothing had been pressed.
TEST_F(UserSessionTest, DisabledAndMissingButtonsAreRefusedAndTheLinkRunsOn) {
  auto renderer = StartRenderer();
  const CommandResult result =
      Link(Document() + " --edits " + Write("press.txt", "button 4\nbutton 3\nbutton 7\nbutton 1 1\n").string());
  ASSERT_EQ(result.status, 0) << result.output;
  const std::vector<json> expected = ReadJsonLines(expectedPath());
  ASSERT_EQ(expected.size(), 5u) << result.output;
  for (const json& step : expected) EXPECT_EQ(step["link"], "running") << step.dump();
  EXPECT_NE(result.output.find("mode-bar button 4 not pressed: it is disabled"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("mode-bar button 7 not pressed: the mode bar has 5 buttons"), std::string::npos);
  EXPECT_NE(result.output.find("mode-bar button 1 not pressed: it has 1 choice, not choice 1"), std::string::npos);
}

// Without a scene-change service nothing can reach the plug-in; the host says so at once instead
// of waiting out its timeout.
TEST_F(UserSessionTest, WithoutTheSceneChangeServiceTheLinkSaysSoInsteadOfWaiting) {
  auto renderer = StartRenderer();
  const CommandResult result = Link(Document() + " --without scene-change");
  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_NE(result.output.find("link: the drawing cannot be sent: this host offers no scene-change service"),
            std::string::npos)
      << result.output;
  EXPECT_EQ(ConnectionValues(), 0u) << "the link was ended";
}

// The renderer's history gains a line only when the drawing changed; quiet, it prints one line per
// update.
TEST_F(UserSessionTest, TheHistoryHoldsEachDrawingOnceAndAQuietRendererOneLinePerUpdate) {
  auto renderer = StartRenderer("--quiet", {}, "", RendererOutput::kRead);
  const fs::path edits = Write("edits.txt", "move house 0 0 100\ntouch Lawn\nwait 0.3\nbutton 2\n");
  const CommandResult result = Link(Document() + " --edits " + edits.string());
  ASSERT_EQ(result.status, 0) << result.output;
  std::vector<std::string> printed;
  for (std::string line = renderer->ReadLine(); !line.empty() && !line.starts_with("TideLink document");
       line = renderer->ReadLine()) {
    printed.push_back(line);
  }
  renderer->Stop();
  EXPECT_TRUE(std::any_of(printed.begin(), printed.end(),
                          [](const std::string& line) { return line.starts_with("update 1:"); }));
  for (const std::string& line : printed) EXPECT_FALSE(line.starts_with("  surface")) << line;
  const std::vector<json> history = ReadJsonLines(historyPath());
  ASSERT_GE(history.size(), 2u);
  for (size_t index = 1; index < history.size(); ++index) EXPECT_NE(history[index], history[index - 1]) << index;
  ExpectMirroredInOrder();
}

// The small things a new user meets on the command line.
TEST_F(UserSessionTest, TheCommandLineSaysWhatItDidAndWhatItNeeds) {
  // The export reports the file it wrote, extension added.
  const fs::path noExtension = scratch() / "noext";
  const CommandResult exported = RunCommand(Program("tidelink-host") + " export -o " + noExtension.string());
  ASSERT_EQ(exported.status, 0) << exported.output;
  EXPECT_TRUE(fs::exists(noExtension.string() + ".dae"));
  EXPECT_NE(exported.output.find("complete: " + noExtension.string() + ".dae\n"), std::string::npos) << exported.output;
  // An answers file that cannot be read names its option.
  const CommandResult missing =
      RunCommand(Program("tidelink-host") + " --ui-script " + (scratch() / "nope.txt").string());
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.output.find("--ui-script"), std::string::npos) << missing.output;
  // The names an edit script can use.
  const CommandResult names = RunCommand(Program("tidelink-host") + " --names");
  EXPECT_EQ(names.status, 0) << names.output;
  EXPECT_NE(names.output.find("instances: lawn house plinth post"), std::string::npos) << names.output;
  EXPECT_NE(names.output.find("geometries: box quad wedge"), std::string::npos) << names.output;
  // A link may run on for a fraction of a second, as the script's wait does.
  auto renderer = StartRenderer();
  const CommandResult half = Link(Document() + " --seconds 0.5");
  EXPECT_EQ(half.status, 0) << half.output;
  EXPECT_NE(half.output.find("link: running for 0.5 s"), std::string::npos) << half.output;
}

// With two links at once the renderer keeps a summary and a picture of each drawing.
TEST_F(UserSessionTest, TwoLinksAtOnceKeepASummaryAndAPictureEach) {
  const fs::path summary = scratch() / "scene.json", picture = scratch() / "scene.png";
  auto renderer = StartRenderer("--quiet --dump " + summary.string() + " --snapshot " + picture.string(), {}, "",
                                RendererOutput::kRead);
  BackgroundProcess first(LinkCommandLine(Document() + " --seconds 600", scratch() / "first.jsonl"));
  ASSERT_NE(renderer->ReadLineStartingWith("update 1:"), "");
  const fs::path other = scratch() / "other.vwx";
  const CommandResult second =
      RunCommand(LinkCommandLine("--document " + other.string(), scratch() / "second.jsonl"));
  ASSERT_EQ(second.status, 0) << second.output;
  first.Stop();
  EXPECT_EQ(json::parse(ReadFile(summary))["document"], fs::path(document_).replace_extension(".dae").string());
  EXPECT_EQ(json::parse(ReadFile(scratch() / "scene-2.json"))["document"],
            fs::path(other).replace_extension(".dae").string());
  EXPECT_TRUE(fs::exists(picture) && fs::exists(scratch() / "scene-2.png"));
}

}  // namespace

// Crashes of either side of the live link, with real processes killed outright: whatever the
// moment, the next link, the next commit or the next renderer carries on from the services' state
// (the registry, the mappings in the system, the header's lock) without anyone cleaning up first.
// Outcomes are judged by what the renderers recorded and by the state of those services.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ProcessList.h"
#include "platform/Registry.h"
#include "platform/SharedMemory.h"
#include "platform/TextConversion.h"
#include "tests/e2e/LinkFixture.h"
#include "tests/e2e/MirroredDrawing.h"
#include "tools/renderer/LinkReader.h"
#include "tests/support/MappingCensus.h"
#include "transport/SharedMemoryChannel.h"
#include "transport/TideLinkDocument.h"
#include "transport/TideLinkDocumentManager.h"
#include "transport/WireFormat.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using namespace std::chrono_literals;

bool WaitUntil(const std::function<bool()>& condition, std::chrono::seconds limit = 60s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

// Lines written so far, counted without parsing a line that may be half written.
size_t LineCount(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return size_t(std::count(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>(), '\n'));
}

// The JSON lines written so far, leaving out a last one that may be half written.
std::vector<json> CompleteJsonLines(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<json> lines;
  std::istringstream complete(text.substr(0, text.rfind('\n') + 1));
  for (std::string line; std::getline(complete, line);) {
    if (!line.empty()) lines.push_back(json::parse(line));
  }
  return lines;
}

std::vector<json> LinesFrom(const fs::path& path, size_t first) {
  std::vector<json> lines = ReadJsonLines(path);
  lines.erase(lines.begin(), lines.begin() + std::ptrdiff_t(std::min(first, lines.size())));
  return lines;
}

// Index of the first step whose edit starts with `edit`.
size_t StepIndex(const std::vector<json>& expected, const std::string& edit) {
  for (size_t index = 0; index < expected.size(); ++index) {
    if (std::string(expected[index]["edit"]).rfind(edit, 0) == 0) return index;
  }
  return expected.size();
}

// The link of a drawing is named after its file, as a COLLADA file beside it.
std::u16string LinkNameOf(const fs::path& drawing) {
  return platform::Utf16FromUtf8(fs::path(drawing).replace_extension(".dae").string());
}

// The link's lock owner as the header shows it; 0 also when the document is not open.
uint32_t LockOwner(const std::u16string& link) {
  platform::SharedMemory mapping;
  if (platform::SharedMemory::Open(SharedMemoryChannel::MappingName(link), mapping) != 0) return 0;
  return std::atomic_ref<uint32_t>(static_cast<wire::HeaderRecord*>(mapping.data())->lockOwner).load();
}

// Shared memory objects in the system that belong to the link of a host process: its main
// mapping and the segments named after the process.
std::vector<std::string> ObjectsOf(uint32_t host, const std::u16string& link) {
  std::vector<std::string> objects =
      MappingObjectsContaining(u"TideLinkAPI/" + platform::Utf16FromUtf8(std::to_string(host)) + u"/");
  if (MappingObjectExists(SharedMemoryChannel::MappingName(link))) objects.push_back("main");
  return objects;
}

size_t CountObjectsOf(uint32_t host, const std::u16string& link) { return ObjectsOf(host, link).size(); }

// The registry values of the connection key, live or not, as a renderer would read them.
std::vector<std::u16string> Announcements() {
  std::vector<std::u16string> names;
  platform::RegistryKey key;
  if (platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, u"Software\\Brisca\\LiveConnections", key) != 0) {
    return names;
  }
  char16_t name[260];
  uint32_t nameLength = 260, type = 0, data = 0, size = sizeof(data);
  for (uint32_t index = 0; key.EnumValue(index, name, &nameLength, &type, &data, &size) == 0;
       ++index, nameLength = 260, size = sizeof(data)) {
    names.emplace_back(name, nameLength);
  }
  return names;
}

bool IsAnnounced(const std::u16string& link) {
  const std::vector<std::u16string> names = Announcements();
  return std::find(names.begin(), names.end(), link) != names.end();
}

void KillOutright(BackgroundProcess& process) {
  process.Kill();
  process.Wait();
}

class CrashRecoveryTest : public LinkFixture {
protected:
  // A link of the sample with the test's edits, running beside the test; the host's account of
  // its steps goes to `expected`.
  std::unique_ptr<BackgroundProcess> StartLink(const std::string& options, const std::string& edits,
                                               const fs::path& expected, const std::string& environment = "") {
    static int scripts = 0;
    const fs::path script = Write("edits" + std::to_string(++scripts) + ".txt", edits);
    return std::make_unique<BackgroundProcess>("env " + environment + " " +
                                               LinkCommandLine(options + " --edits " + script.string(), expected));
  }
  fs::path ScratchFile(const std::string& name) const { return scratch() / name; }
};

// The host dies holding the lock with half a commit written. A new host links the same drawing at
// once, and both renderers that mirrored the dead one let it go and mirror every step of the new.
TEST_F(CrashRecoveryTest, AHostKilledInTheMiddleOfACommitLeavesNothingInTheWayOfTheNextLink) {
  const fs::path firstHistory = ScratchFile("first-renderer.jsonl"), secondHistory = ScratchFile("second-renderer.jsonl");
  auto firstRenderer = StartRenderer("", firstHistory);
  auto secondRenderer = StartRenderer("", secondHistory);
  const std::u16string link = LinkNameOf(document_);
  auto dying = StartLink(Document() + " --seconds 60", "wait 0.5\nmove house 1500 -250 100\n",
                         ScratchFile("dying.jsonl"), "TIDELINK_COMMIT_PAUSE_MS=3000");
  ASSERT_TRUE(WaitUntil([&] { return LineCount(firstHistory) > 0 && LineCount(secondHistory) > 0; }));
  ASSERT_TRUE(WaitUntil([&] { return LockOwner(link) == uint32_t(dying->pid()); })) << "never caught in a commit";
  const uint32_t dead = dying->pid();
  KillOutright(*dying);
  const size_t firstSeen = LineCount(firstHistory), secondSeen = LineCount(secondHistory);
  ASSERT_TRUE(IsAnnounced(link));
  if (EndedCreatorsLeaveMappings()) {
    ASSERT_GT(CountObjectsOf(dead, link), 0u);
  }

  const CommandResult next = Link(Document() + " --edits " +
                                  Write("next.txt", "wait 1\ncolour Lawn 0.1 0.7 0.3\nwait 1\nremove window-2\nwait 1\n").string());
  ASSERT_EQ(next.status, 0) << next.output;
  firstRenderer->Stop();
  secondRenderer->Stop();
  const std::vector<json> expected = ReadJsonLines(expectedPath());
  EXPECT_EQ(UnmirroredSteps(expected, LinesFrom(firstHistory, firstSeen)), "");
  EXPECT_EQ(UnmirroredSteps(expected, LinesFrom(secondHistory, secondSeen)), "");
  EXPECT_EQ(CountObjectsOf(dead, link), 0u) << "the dead host's segments are still in the system";
}

// The renderer dies holding the lock. The host's next commits take the lock over with every edit
// made meanwhile, and a renderer started afterwards shows the whole current drawing.
TEST_F(CrashRecoveryTest, ARendererKilledHoldingTheLockLosesNoCommit) {
  auto holder = StartRenderer("", ScratchFile("holder.jsonl"), "OMBREL_HOLD_LOCK_MS=60000");
  const std::u16string link = LinkNameOf(document_);
  auto host = StartLink(Document() + " --seconds 5", "wait 1\nmove house 1500 -250 100\nwait 1\ncolour Lawn 0.1 0.7 0.3\n",
                        expectedPath());
  ASSERT_TRUE(WaitUntil([&] { return LockOwner(link) == uint32_t(holder->pid()); }));
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(expectedPath()).find("\"colour Lawn") != std::string::npos; }));
  ASSERT_EQ(LockOwner(link), uint32_t(holder->pid())) << "the edits were made while the renderer held the lock";
  const uint32_t dead = uint32_t(holder->pid());
  KillOutright(*holder);
  EXPECT_TRUE(WaitUntil([&] { return LockOwner(link) != dead; }, 10s)) << "the dead renderer's lock was never taken over";

  auto next = StartRenderer();
  EXPECT_EQ(host->Wait(), 0);
  next->Stop();
  const std::vector<json> expected = ReadJsonLines(expectedPath());
  EXPECT_EQ(UnmirroredSteps(expected, ReadJsonLines(historyPath()), StepIndex(expected, "colour")), "");
}

// Killed and started again in the middle of a link, the renderer finds the document through the
// registry, shows the whole drawing and then every later edit. Nothing here waits for a time:
// the first renderer is killed once the host has reported the drawing mirrored, and the link is
// closed from the renderer's side once the restarted one shows every step the host played.
TEST_F(CrashRecoveryTest, ARendererRestartedMidLinkShowsTheWholeDrawingThenEveryLaterEdit) {
  const fs::path firstHistory = ScratchFile("first-renderer.jsonl"), hostOutput = ScratchFile("host.txt");
  const std::string script = "wait 1\nmove house 1500 -250 100\nwait 1\ncolour Lawn 0.1 0.7 0.3\nwait 0.5\n"
                             "remove window-2\nwait 0.5\nmaterials post Concrete \"Brick wall\"\n";
  const size_t steps = size_t(std::count(script.begin(), script.end(), '\n'));
  auto first = StartRenderer("", firstHistory);
  // Its output goes to a file: a pipe nobody reads while the test waits could stall the host.
  auto host = StartLink(Document() + " --stop-with renderer > " + hostOutput.string() + " 2>&1", script, expectedPath());
  ASSERT_TRUE(WaitUntil([&] { return LineCount(expectedPath()) > 0; })) << ReadFile(hostOutput);
  KillOutright(*first);
  auto restarted = StartRenderer();

  std::string unmirrored = "the host played no step";
  const bool shown = WaitUntil([&] {
    if (LineCount(expectedPath()) < steps + 1) return false;
    const std::vector<json> expected = CompleteJsonLines(expectedPath());
    unmirrored = UnmirroredSteps(expected, CompleteJsonLines(historyPath()), StepIndex(expected, "move"));
    return unmirrored.empty();
  });
  EXPECT_TRUE(shown) << unmirrored;
  LinkReader closer;
  std::string problem;
  ASSERT_TRUE(closer.Open(LinkNameOf(document_), problem)) << problem;
  closer.CloseLink();
  EXPECT_EQ(host->Wait(), 0) << ReadFile(hostOutput);
  restarted->Stop();
}

TEST_F(CrashRecoveryTest, TwoRenderersReadingOneLinkBothMirrorEveryEdit) {
  const fs::path firstHistory = ScratchFile("first-renderer.jsonl"), secondHistory = ScratchFile("second-renderer.jsonl");
  auto first = StartRenderer("", firstHistory);
  auto second = StartRenderer("", secondHistory);
  const CommandResult result = Link(Document() + " --edits " + Write("edits.txt",
      "wait 1.5\nmove house 1500 -250 100\nwait 0.5\ncolour Lawn 0.1 0.7 0.3\nwait 0.5\nremove window-2\nwait 0.5\n"
      "view -12000 -15000 8000 0.6 0.7 -0.3 0.2 0.2 0.95 36 50\nwait 0.5\n").string());
  ASSERT_EQ(result.status, 0) << result.output;
  first->Stop();
  second->Stop();
  const std::vector<json> expected = ReadJsonLines(expectedPath());
  EXPECT_EQ(UnmirroredSteps(expected, ReadJsonLines(firstHistory)), "");
  EXPECT_EQ(UnmirroredSteps(expected, ReadJsonLines(secondHistory)), "");
}

// Each killed host leaves its document (10 MB) and segments in the system's memory where the
// system keeps them (POSIX); the next open of any process of the user removes them, and never a
// living process's. A renderer reads each link, since a host that no renderer reads ends its link
// at once.
TEST_F(CrashRecoveryTest, MappingsOfKilledHostsAreRemovedByTheNextOpenAndNeverPileUp) {
  auto renderer = StartRenderer();
  std::vector<std::pair<uint32_t, std::u16string>> killed;
  for (int round = 0; round < 3; ++round) {
    const fs::path drawing = ScratchFile("drawing" + std::to_string(round) + ".vwx");
    const std::u16string link = LinkNameOf(drawing);
    auto host = StartLink(" --seconds 60 --document " + drawing.string(), "", ScratchFile("expected" + std::to_string(round)));
    ASSERT_TRUE(WaitUntil([&] { return IsAnnounced(link) && CountObjectsOf(host->pid(), link) > 1; }));
    for (const auto& [pid, name] : killed) EXPECT_EQ(CountObjectsOf(pid, name), 0u) << "round " << round;
    const uint32_t pid = host->pid();
    KillOutright(*host);
    if (EndedCreatorsLeaveMappings()) {
      EXPECT_GT(CountObjectsOf(pid, link), 1u) << "a killed host leaves its document and segments";
    }
    killed.emplace_back(pid, link);
  }

  const fs::path drawing = ScratchFile("living.vwx");
  const std::u16string living = LinkNameOf(drawing);
  auto host = StartLink(" --seconds 60 --document " + drawing.string(), "", ScratchFile("expected-living"));
  ASSERT_TRUE(WaitUntil([&] { return IsAnnounced(living) && CountObjectsOf(host->pid(), living) > 1; }));
  const std::vector<std::string> livingObjects = ObjectsOf(host->pid(), living);
  auto document = TideLinkDocumentManager::Instance().OpenDocument(u"crash-recovery-" + platform::Utf16FromUtf8(std::to_string(platform::GetCurrentProcessId())), 16);
  ASSERT_NE(document, nullptr);
  TideLinkDocumentManager::Instance().CloseDocument(document);
  // The living host may still be adding segments; none of those it had may be gone.
  const std::vector<std::string> livingAfter = ObjectsOf(host->pid(), living);
  for (const std::string& object : livingObjects) {
    EXPECT_NE(std::find(livingAfter.begin(), livingAfter.end(), object), livingAfter.end())
        << "a living host's mapping was removed: " << object;
  }
  for (const auto& [pid, name] : killed) EXPECT_EQ(CountObjectsOf(pid, name), 0u);
  EXPECT_EQ(Announcements(), std::vector<std::u16string>{living});

  const uint32_t pid = host->pid();
  KillOutright(*host);
  const size_t swept = SweepAbandonedMappings();
  if (EndedCreatorsLeaveMappings()) {
    EXPECT_GT(swept, 1u);
  }
  EXPECT_EQ(CountObjectsOf(pid, living), 0u);
}

}  // namespace

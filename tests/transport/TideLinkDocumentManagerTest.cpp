#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "platform/Registry.h"
#include "tests/support/BackgroundProcess.h"
#include "tests/transport/TideLinkDocumentManagerFixture.h"

namespace {

class TideLinkDocumentManagerTest : public TideLinkDocumentManagerFixture {};

TEST_F(TideLinkDocumentManagerTest, OpeningPrunesAnnouncementsWhoseMappingIsGoneAndKeepsForeignValues) {
  const uint32_t live = 1;
  const std::u16string stale = DocumentName("gone");
  Announce(stale, platform::kRegistryDword, &live, sizeof(live));
  const std::u16string text = u"written as text";
  Announce(DocumentName("text"), platform::kRegistryString, text.c_str(), static_cast<uint32_t>(text.size() * 2 + 2));
  const std::u16string path = u"C:\\Drawings\\" + DocumentName("House.vwx");
  auto house = OpenThroughManager(path);
  ASSERT_NE(house, nullptr);
  EXPECT_FALSE(IsAnnounced(stale)) << "the stale value is deleted by the next open";
  EXPECT_TRUE(IsAnnounced(DocumentName("text"))) << "a value of another size is neither listed nor deleted";

  Announce(path, platform::kRegistryDword, &live, sizeof(live));
  EXPECT_EQ(manager().ListConnections(0), std::vector<std::u16string>{path}) << "listed with its backslashes";
  EXPECT_EQ(manager().ListConnections(1), std::vector<std::u16string>{path});
  EXPECT_TRUE(manager().ListConnections(2).empty());
}

TEST_F(TideLinkDocumentManagerTest, ALiveNameCannotBeOpenedTwiceUntilItIsClosed) {
  auto first = OpenThroughManager(DocumentName());
  ASSERT_NE(first, nullptr);
  first->CreateSurface(u"Brick", false);
  first->Commit();
  EXPECT_TRUE(IsAnnounced(DocumentName())) << "announced at the first commit with changes";
  EXPECT_EQ(OpenThroughManager(DocumentName()), nullptr);

  manager().CloseDocument(first);
  EXPECT_FALSE(first->IsOpen());
  EXPECT_FALSE(IsAnnounced(DocumentName())) << "withdrawn at close";
  auto again = OpenThroughManager(DocumentName());
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(again->IsOpen());
}

TEST_F(TideLinkDocumentManagerTest, RendererWindowsAreFoundByImagePathThenByShownUnownedClass) {
  BackgroundProcess renderer(PeerNamed("Ombrel.exe") + " windows 'OmbrelStartWindow:shown' 'START:hidden' "
                "'Start dialog:owned' 'Toolbar:shown' 'Qt5QWindowIcon:shown' 'lowercase start:shown'");
  BackgroundProcess editor(PeerNamed("PYRRHEX.EXE") + " windows 'Qt5QWindowIcon:shown' 'Pyrrhex Editor Main:shown' 'Start:shown'");
  BackgroundProcess both(PeerNamed("PYRRHEX.EXE.Ombrel.exe") + " windows 'Qt5QWindowIcon:shown' 'StartHere:shown'");
  BackgroundProcess neither(PeerNamed("viewer") + " windows 'Start:shown'");
  for (BackgroundProcess* peer : {&renderer, &editor, &both, &neither}) ASSERT_EQ(peer->ReadLine(), "ready");

  std::vector<std::u16string> classes;
  for (platform::WindowHandle window : manager().FindRendererWindows()) {
    classes.push_back(platform::GetWindowAttributes(window)->className);
  }
  std::sort(classes.begin(), classes.end());
  EXPECT_EQ(classes, (std::vector<std::u16string>{u"OmbrelStartWindow", u"Pyrrhex Editor Main", u"Qt5QWindowIcon",
                                                 u"StartHere", u"lowercase start"}));
}

TEST_F(TideLinkDocumentManagerTest, EveryRendererWindowGetsTheUpdateAndALateRendererIsFound) {
  auto document = OpenThroughManager(DocumentName());
  ASSERT_NE(document, nullptr);
  EXPECT_EQ(manager().NotifyRenderer(2, 0), -1) << "no renderer yet";

  const std::string watch = std::string(TRANSPORT_PEER) + " watch " + token_ + "doc";
  BackgroundProcess first(watch), second(watch);
  ASSERT_EQ(first.ReadLine(), "ready");
  ASSERT_EQ(second.ReadLine(), "ready");
  EXPECT_EQ(manager().NotifyRenderer(2, 0), 0);
  EXPECT_EQ(first.ReadLine(), "message 8729 2 0");
  EXPECT_EQ(second.ReadLine(), "message 8729 2 0");
}

}  // namespace

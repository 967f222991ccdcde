// The plug-in's side of the link in this process, the stand-in renderer as a real process beside
// it: what the renderer reports must be exactly what was committed.

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/MessageWindow.h"
#include "platform/Utf8Path.h"
#include "tests/e2e/RendererLinkFixture.h"

namespace {

class RendererLinkTest : public RendererLinkFixture {};

TEST_F(RendererLinkTest, TheRendererMirrorsEveryCommitRemovalAndGrownMesh) {
  const auto dump = scratch() / "scene.json";
  BackgroundProcess renderer(Renderer("--seconds 30 --dump " + dump.string() + " --snapshot " +
                                      (scratch() / "scene.png").string()));
  ASSERT_NE(renderer.ReadLine().find("is waiting for TideLink"), std::string::npos);

  document_ = TideLinkDocumentManager::Instance().OpenDocument(name_, 64);
  ASSERT_NE(document_, nullptr);
  auto brick = document_->CreateSurface(u"Brick", false);
  brick->SetColor(0xAA0000);
  ASSERT_TRUE(brick->SetMesh(Strip(1)));
  const uint8_t pixels[4 * 2 * 4] = {};
  ASSERT_TRUE(brick->SetTextureImage(4, 2, pixels, true));
  auto glass = document_->CreateSurface(u"Window glass", false);
  glass->SetSurfaceType(2);
  ASSERT_TRUE(glass->SetMesh(Strip(3)));
  document_->Commit();

  std::string update = renderer.ReadLineStartingWith("update 1:");
  EXPECT_NE(update.find(": 2 surfaces, 8 triangles, 1 textures, 0 removed, no camera"), std::string::npos) << update;
  std::string brickLine = renderer.ReadLine();
  EXPECT_NE(brickLine.find("\"Brick\" type 0 colour #"), std::string::npos) << brickLine;
  EXPECT_NE(brickLine.find(", 2 triangles, texture 4x2"), std::string::npos) << brickLine;
  EXPECT_NE(renderer.ReadLine().find("\"Window glass\" type 2"), std::string::npos);

  document_->RemoveSurface(glass);
  document_->Commit();
  update = renderer.ReadLineStartingWith("update 2:");
  EXPECT_NE(update.find(": 1 surfaces, 2 triangles, 1 textures, 1 removed"), std::string::npos) << update;

  // Ten times the triangles no longer fit the segment made for the first mesh.
  ASSERT_TRUE(brick->SetMesh(Strip(10)));
  document_->Commit();
  update = renderer.ReadLineStartingWith("update 3:");
  EXPECT_NE(update.find(": 1 surfaces, 20 triangles"), std::string::npos) << update;
  EXPECT_EQ(renderer.ReadLine().find("rejected"), std::string::npos);

  TideLinkDocumentManager::Instance().CloseDocument(document_);
  document_.reset();
  EXPECT_NE(renderer.ReadLineStartingWith("TideLink document").find("was closed"), std::string::npos);
  EXPECT_EQ(renderer.Stop(), 0);

  const std::string json = ReadFile(dump);
  EXPECT_NE(json.find("\"name\":\"Brick\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"triangles\":20"), std::string::npos) << json;
  EXPECT_TRUE(std::filesystem::file_size(scratch() / "scene.png") > 0);
}

// The summary's path comes from the renderer's command line as UTF-8, whatever the narrow code page.
TEST_F(RendererLinkTest, TheRendererWritesItsSummaryIntoAFolderNamedOutsideTheCodePage) {
  const std::filesystem::path folder = scratch() / NonLatinName();
  std::filesystem::create_directories(folder);
  BackgroundProcess renderer(
      Renderer("--seconds 30 --close-after 1 --dump '" + platform::Utf8FromPath(folder / "scene.json") + "'"));
  ASSERT_NE(renderer.ReadLine().find("is waiting for TideLink"), std::string::npos);
  document_ = TideLinkDocumentManager::Instance().OpenDocument(name_, 16);
  ASSERT_NE(document_, nullptr);
  document_->CreateSurface(u"Brick", false);
  document_->Commit();
  EXPECT_NE(renderer.ReadLineStartingWith("closing the link"), "");
  EXPECT_EQ(renderer.Stop(), 0);
  EXPECT_NE(ReadFile(folder / "scene.json").find("\"name\":\"Brick\""), std::string::npos);
}

TEST_F(RendererLinkTest, TheRendererCanCloseTheLink) {
  BackgroundProcess renderer(Renderer("--seconds 30 --close-after 1"));
  ASSERT_NE(renderer.ReadLine().find("is waiting for TideLink"), std::string::npos);
  document_ = TideLinkDocumentManager::Instance().OpenDocument(name_, 16);
  ASSERT_NE(document_, nullptr);
  document_->CreateSurface(u"Brick", false);
  document_->Commit();
  EXPECT_NE(renderer.ReadLineStartingWith("closing the link").find("tlrender"), std::string::npos);
  EXPECT_TRUE(document_->IsClosedByRenderer());
}

// Closing the renderer's window ends it, as closing the program's window does on Windows: the
// message reaches it on the channel the plug-in's updates take, at once and long before its time.
TEST_F(RendererLinkTest, ACloseMessageToItsWindowEndsTheRenderer) {
  BackgroundProcess renderer(Renderer("--seconds 600"));
  ASSERT_NE(renderer.ReadLine().find("is waiting for TideLink"), std::string::npos);
  platform::WindowHandle window = 0;
  for (const platform::WindowHandle candidate : platform::EnumerateWindows()) {
    const auto attributes = platform::GetWindowAttributes(candidate);
    if (attributes && attributes->processId == renderer.pid()) window = candidate;
  }
  ASSERT_NE(window, 0u) << "the renderer's window is not listed";
  ASSERT_TRUE(platform::PostWindowMessage(window, {platform::kCloseMessage, 0, 0}));
  EXPECT_EQ(renderer.ReadLineStartingWith("Ombrel stand-in stops"), "Ombrel stand-in stops after 0 updates");
  EXPECT_EQ(renderer.Wait(), 0);
  EXPECT_FALSE(platform::IsWindow(window));
}

}  // namespace

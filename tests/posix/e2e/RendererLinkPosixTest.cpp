// The plug-in's side of the link in this process, the stand-in renderer as a real process beside
// it: what the renderer reports must be exactly what was committed.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/e2e/RendererLinkFixture.h"

namespace {

class RendererLinkPosixTest : public RendererLinkFixture {};

// A plug-in that dies with its link open: the renderer notices and lets go of the document, so
// the stale announcement is pruned and the drawing can be linked again at once.
TEST_F(RendererLinkPosixTest, TheRendererLetsGoOfALinkWhosePlugInDied) {
  BackgroundProcess renderer(Renderer("--seconds 30"));
  ASSERT_NE(renderer.ReadLine().find("is waiting for TideLink"), std::string::npos);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto document = TideLinkDocumentManager::Instance().OpenDocument(name_, 64);
    if (!document) _exit(3);
    document->CreateSurface(u"Brick", false)->SetMesh(Strip(1));
    document->Commit();
    pause();
    _exit(0);
  }
  EXPECT_NE(renderer.ReadLineStartingWith("update 1:"), "");
  kill(child, SIGKILL);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  const std::string closed = renderer.ReadLineStartingWith("TideLink document");
  EXPECT_NE(closed.find("was closed"), std::string::npos) << closed;

  document_ = TideLinkDocumentManager::Instance().OpenDocument(name_, 64);
  EXPECT_NE(document_, nullptr) << "the name is free again";
  // The open also removed the dead process's segments, which nobody else would.
  const std::string segments = "TideLinkAPI%002F" + std::to_string(child) + "%002F";
  for (const auto& entry : std::filesystem::directory_iterator("/dev/shm")) {
    EXPECT_EQ(entry.path().filename().string().find(segments), std::string::npos) << entry.path();
  }
}

// The registry's database file holds no database for a few of the renderer's polls: a registry it
// cannot read for a while closes no link.
TEST_F(RendererLinkPosixTest, AnUnreadableRegistryClosesNoLink) {
  BackgroundProcess renderer(Renderer("--seconds 30"));
  ASSERT_NE(renderer.ReadLine().find("is waiting for TideLink"), std::string::npos);
  document_ = TideLinkDocumentManager::Instance().OpenDocument(name_, 64);
  ASSERT_NE(document_, nullptr);
  auto brick = document_->CreateSurface(u"Brick", false);
  ASSERT_TRUE(brick->SetMesh(Strip(1)));
  document_->Commit();
  EXPECT_NE(renderer.ReadLineStartingWith("update 1:"), "");

  const std::filesystem::path saved = scratch() / "registry.saved";
  std::filesystem::rename(registryPath(), saved);
  std::ofstream(registryPath()) << "not a database at all, for a few of the renderer's polls";
  std::this_thread::sleep_for(std::chrono::seconds(3));
  std::filesystem::rename(saved, registryPath());
  ASSERT_TRUE(brick->SetMesh(Strip(2)));
  document_->Commit();
  for (std::string line = renderer.ReadLine(); line.rfind("update 2:", 0) != 0; line = renderer.ReadLine()) {
    ASSERT_FALSE(line.empty()) << "the renderer ended before the second update";
    EXPECT_EQ(line.find("was closed"), std::string::npos) << line;
  }
}

}  // namespace

// The plug-in's side of the link in this process, the stand-in renderer as a real process beside
// it: what the renderer reports must be exactly what was committed.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/ProcessList.h"
#include "tests/support/BackgroundProcess.h"
#include "tests/support/TestEnvironment.h"
#include "transport/TideLinkDocument.h"
#include "transport/TideLinkDocumentManager.h"
#include "transport/TideLinkSurface.h"

namespace {

// A grid of `quads` unit squares in one row: 4 vertices and 2 triangles each.
TideLinkMesh Strip(uint32_t quads) {
  TideLinkMesh mesh = TideLinkMesh::Create(4ull * quads, 6ull * quads, 1);
  for (uint32_t quad = 0; quad < quads; ++quad) {
    const float corners[4][3] = {{float(quad), 0, 0}, {float(quad + 1), 0, 0}, {float(quad + 1), 1, 0}, {float(quad), 1, 0}};
    for (uint32_t corner = 0; corner < 4; ++corner) {
      std::copy(corners[corner], corners[corner] + 3, &mesh.positions[(4 * quad + corner) * 3]);
      mesh.normals[(4 * quad + corner) * 3 + 2] = 1;
    }
    const uint32_t first = 4 * quad;
    const uint32_t indices[6] = {first, first + 1, first + 2, first, first + 2, first + 3};
    std::copy(indices, indices + 6, &mesh.indices[6 * quad]);
  }
  return mesh;
}

class RendererLinkPosixTest : public TestEnvironment {
protected:
  void SetUp() override {
    TestEnvironment::SetUp();
    name_ = u"C:\\Drawings\\tlrender" + std::u16string(u"") + Digits(platform::GetCurrentProcessId()) + u".vwx";
  }
  void TearDown() override {
    if (document_) TideLinkDocumentManager::Instance().CloseDocument(document_);
    TestEnvironment::TearDown();
  }
  static std::u16string Digits(int number) {
    const std::string text = std::to_string(number);
    return {text.begin(), text.end()};
  }
  std::string Renderer(const std::string& options) const {
    return (binaryDirectory() / "Ombrel.exe").string() + " " + options;
  }

  std::u16string name_;
  std::shared_ptr<TideLinkDocument> document_;
};

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

}  // namespace

// Surfaces, commits and the camera, checked in the bytes the renderer reads.
#include <csignal>
#include <sys/resource.h>

#include "tests/transport/TideLinkDocumentFixture.h"

namespace {

class TideLinkDocumentPosixTest : public TideLinkDocumentFixture {};

// A segment that cannot be created (here: a file size limit on this process, which binds shared
// memory objects too) leaves that part of the surface out without touching the rest, and the
// first commit after the limit is lifted writes it.
TEST_F(TideLinkDocumentPosixTest, APartWithoutSharedMemoryIsLeftOutAndWrittenOnceMemoryIsThere) {
  const auto small = document_->CreateSurface(u"Small", false);
  small->SetMesh(Triangles(2));
  document_->Commit();
  const auto large = document_->CreateSurface(u"Large", false);
  large->SetMesh(Triangles(4000));  // about 0.9 MB of segment
  const std::vector<uint8_t> pixels(256 * 256 * 4, 9);
  large->SetTextureImage(256, 256, pixels.data(), true);

  rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 128 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  document_->Commit();
  small->SetMesh(Triangles(3));  // fits its old segment
  document_->Commit();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  MirroredScene scene = ReadAsRenderer(DocumentName());
  ASSERT_EQ(scene.surfaces.size(), 2u);
  EXPECT_EQ(scene.surfaces[0].triangleCount(), 3u);
  EXPECT_EQ(scene.surfaces[1].name, u"Large");
  EXPECT_EQ(scene.surfaces[1].triangleCount(), 0u);
  EXPECT_TRUE(scene.surfaces[1].textures[0].empty());
  EXPECT_TRUE(large->IsDirty()) << "the left-out parts wait for the next commit";
  EXPECT_EQ(LogLinesWith("TideLink surface Large: no shared memory"), 1u);

  document_->Commit();
  scene = ReadAsRenderer(DocumentName());
  ASSERT_EQ(scene.surfaces.size(), 2u);
  EXPECT_EQ(scene.surfaces[1].triangleCount(), 4000u);
  EXPECT_EQ(scene.surfaces[1].textures[0].width, 256u);
  EXPECT_FALSE(large->IsDirty());
}

}  // namespace

// Surfaces, commits and the camera, checked in the bytes the renderer reads.
#include <csignal>
#include <fstream>
#include <sys/resource.h>

#include "platform/Registry.h"
#include "tests/transport/TransportTestSupport.h"
#include "tools/renderer/LinkReader.h"
#include "transport/TideLinkSurfaceImpl.h"

namespace {

// Offsets of the SRFC record.
constexpr size_t kMaterialVersion = 20, kName = 24, kType = 544, kLibraryId = 548, kColor = 804,
                 kParams = 808, kTexture1 = 856, kTexture2 = 1388, kMeshVersion = 1920,
                 kMeshSegment = 1924, kMeshCapacity = 1928;
// Offsets within a texture's fields.
constexpr size_t kStamp = 0, kPath = 4, kSegment = 524, kSize = 528;

class TideLinkDocumentPosixTest : public TransportTest {
protected:
  void SetUp() override {
    TransportTest::SetUp();
    document_ = Open();
    base_ = MapAsReader(DocumentName());
  }
  void TearDown() override {
    document_.reset();
    TransportTest::TearDown();
  }
  // Data block `index` of the reader's view.
  const uint8_t* Block(size_t index) const { return base_ + 2048 + 2048 * index; }
  uint32_t HeaderVersion() const { return U32(base_, 16); }

  static TideLinkMesh Triangles(uint32_t count) {
    TideLinkMesh mesh = TideLinkMesh::Create(3 * count, 3 * count, 1);
    for (uint32_t index = 0; index < 3 * count; ++index) {
      mesh.indices[index] = index;
      mesh.positions[3 * index] = static_cast<float>(index);
    }
    return mesh;
  }
  // What the renderer's own reader makes of a document; its problems must be empty.
  static MirroredScene ReadAsRenderer(const std::u16string& name) {
    LinkReader reader;
    std::string problem;
    MirroredScene scene;
    EXPECT_TRUE(reader.Open(name, problem)) << problem;
    EXPECT_TRUE(reader.Read(scene));
    EXPECT_EQ(scene.problems, std::vector<std::string>{});
    return scene;
  }
  size_t LogLinesWith(const std::string& text) const {
    std::ifstream log(debugLogPath());
    size_t count = 0;
    for (std::string line; std::getline(log, line);) count += line.find(text) != std::string::npos;
    return count;
  }
  bool HasConnectionValue() const {
    platform::RegistryKey key;
    uint32_t size = 4, value = 0;
    return platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser,
                                       u"Software\\Brisca\\LiveConnections", key) == 0 &&
           key.QueryValue(DocumentName(), nullptr, &value, &size) == 0 && value == 1;
  }

  std::shared_ptr<TideLinkDocumentImpl> document_;
  const uint8_t* base_ = nullptr;
};

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

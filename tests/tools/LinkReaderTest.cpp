#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstring>
#include <map>
#include <random>

#include "platform/ChildProcess.h"
#include "platform/ImageEncoder.h"
#include "platform/ProcessList.h"
#include "tests/support/TestEnvironment.h"
#include "tools/renderer/LinkReader.h"
#include "tools/renderer/SceneJson.h"
#include "transport/SharedMemoryChannel.h"
#include "transport/TideLinkDocumentImpl.h"
#include "transport/TideLinkSurface.h"

namespace {

TideLinkMesh Triangles(uint32_t count) {
  TideLinkMesh mesh = TideLinkMesh::Create(3ull * count, 3ull * count, 1);
  for (uint32_t index = 0; index < 3 * count; ++index) {
    mesh.positions[3 * index] = float(index);
    mesh.indices[index] = index;
  }
  return mesh;
}

// A document as the plug-in writes it, and writable views of its memory as another process has.
class LinkReaderTest : public TestEnvironment {
protected:
  void SetUp() override {
    TestEnvironment::SetUp();
    const std::string text = "tlreader" + std::to_string(platform::GetCurrentProcessId());
    name_.assign(text.begin(), text.end());
    document_ = TideLinkDocumentImpl::Create(name_, 32);
    ASSERT_TRUE(document_->IsOpen());
    plain_ = document_->CreateSurface(u"Plain", false);
    plain_->SetMesh(Triangles(4));
    auto textured = document_->CreateSurface(u"Textured", false);
    textured->SetMesh(Triangles(2));
    const uint8_t pixels[3 * 5 * 4] = {};
    textured->SetTextureImage(3, 5, pixels, true);
    empty_ = document_->CreateSurface(u"Empty", false);
    document_->Commit();
    ASSERT_EQ(platform::SharedMemory::Open(SharedMemoryChannel::MappingName(name_), view_), 0);
  }
  void TearDown() override {
    view_.Close();
    plain_.reset();
    empty_.reset();
    document_.reset();
    TestEnvironment::TearDown();
  }

  uint8_t* bytes() const { return static_cast<uint8_t*>(view_.data()); }
  uint32_t LockOwner() const {
    uint32_t owner;
    std::memcpy(&owner, bytes() + offsetof(wire::HeaderRecord, lockOwner), 4);
    return owner;
  }

  std::u16string name_;
  std::shared_ptr<TideLinkDocumentImpl> document_;
  std::shared_ptr<TideLinkSurface> plain_, empty_;
  platform::SharedMemory view_;
};

TEST_F(LinkReaderTest, AnIntactDocumentReadsWhole) {
  LinkReader reader;
  std::string problem;
  ASSERT_TRUE(reader.Open(name_, problem)) << problem;
  MirroredScene scene;
  ASSERT_TRUE(reader.Read(scene));
  EXPECT_TRUE(scene.problems.empty());
  ASSERT_EQ(scene.surfaces.size(), 3u);
  EXPECT_EQ(scene.surfaces[0].triangleCount(), 4u);
  EXPECT_EQ(scene.surfaces[1].textures[0].width, 3u);
  EXPECT_EQ(scene.surfaces[1].textures[0].height, 5u);
  EXPECT_EQ(scene.surfaces[2].triangleCount(), 0u);
  // The read is recorded in the status record (block 1) for whoever runs the link to see.
  uint32_t read;
  std::memcpy(&read, bytes() + 2 * wire::kBlockSize + wire::kStatusVersionReadOffset, 4);
  EXPECT_EQ(read, scene.headerVersion);
  EXPECT_GT(read, 1u);
}

// What the picture draws a texture with: the image's pixels, from a segment or a file, and the
// mesh's UVs.
TEST_F(LinkReaderTest, TexturePixelsAndUVsAreMirrored) {
  const std::vector<float> uvs = {0, 0, 1, 0, 0.5f, 1};
  auto segment = document_->CreateSurface(u"Painted", false);
  ASSERT_TRUE(segment->SetMeshArrays({0, 0, 0, 1, 0, 0, 0, 1, 0}, std::vector<float>(9), uvs, {0, 1, 2}));
  const uint8_t pixels[] = {1, 2, 3, 4, 5, 6, 7, 8};  // B G R A, as a bitmap holds them
  ASSERT_TRUE(segment->SetTextureImage(2, 1, pixels, true));
  const std::filesystem::path png = scratch() / "painted.png";
  const std::vector<uint8_t> rgba = {9, 8, 7, 255};
  ASSERT_TRUE(platform::EncodePngPixels(1, 1, rgba, png.u16string()));
  auto file = document_->CreateSurface(u"Pictured", false);
  ASSERT_TRUE(file->SetTextureFile(png.u16string()));
  document_->Commit();

  LinkReader reader;
  std::string problem;
  ASSERT_TRUE(reader.Open(name_, problem)) << problem;
  MirroredScene scene;
  ASSERT_TRUE(reader.Read(scene));
  EXPECT_TRUE(scene.problems.empty());
  ASSERT_EQ(scene.surfaces.size(), 5u);
  EXPECT_EQ(scene.surfaces[3].uvs.items(), uvs);
  EXPECT_EQ(scene.surfaces[3].textures[0].rgba.items(), (std::vector<uint8_t>{3, 2, 1, 4, 7, 6, 5, 8}));
  EXPECT_EQ(scene.surfaces[4].textures[0].rgba.items(), rgba);
  // A second read finds the same pixels without copying the image again.
  ASSERT_TRUE(reader.Read(scene));
  EXPECT_EQ(scene.surfaces[3].textures[0].rgba.items(), (std::vector<uint8_t>{3, 2, 1, 4, 7, 6, 5, 8}));
  EXPECT_EQ(scene.surfaces[4].textures[0].rgba.items(), rgba);
}

// A reader that kept its copies from an earlier read sees the same scene as one reading afresh,
// having copied only the records that changed and the mesh they name.
TEST_F(LinkReaderTest, AReadAfterACommitCopiesOnlyWhatChangedAndSeesTheSameAsAFreshOne) {
  LinkReader kept;
  std::string problem;
  ASSERT_TRUE(kept.Open(name_, problem)) << problem;
  MirroredScene scene;
  ASSERT_TRUE(kept.Read(scene));
  const uint64_t firstCopy = kept.lastRead().copiedBytes;

  plain_->SetMesh(Triangles(20));
  document_->CreateSurface(u"Added", false)->SetMesh(Triangles(1));
  document_->RemoveSurface(empty_);
  document_->Commit();
  ASSERT_TRUE(kept.Read(scene));
  const uint64_t secondCopy = kept.lastRead().copiedBytes;

  LinkReader fresh;
  ASSERT_TRUE(fresh.Open(name_, problem)) << problem;
  MirroredScene expected;
  ASSERT_TRUE(fresh.Read(expected));
  EXPECT_EQ(SceneToJson(scene), SceneToJson(expected));
  ASSERT_EQ(scene.surfaces.size(), 3u);
  EXPECT_EQ(scene.surfaces[0].triangleCount(), 20u);
  EXPECT_EQ(scene.removedSurfaceIds.size(), 1u);
  EXPECT_EQ(scene.surfaces[1].positions, expected.surfaces[1].positions) << "an unchanged mesh from the copy kept";
  // The header, the camera, the three changed records and the two new meshes (positions, the
  // first UV set, indices); the textured surface and its image are not copied again.
  const uint64_t meshes = 12 + 4 * (5 * 60 + 60) + 12 + 4 * (5 * 3 + 3);
  EXPECT_EQ(secondCopy, sizeof(wire::HeaderRecord) + 4 * wire::kBlockSize + meshes);
  EXPECT_LT(secondCopy, firstCopy);
  EXPECT_EQ(kept.lastRead().meshBytes, fresh.lastRead().meshBytes);
}

// The reader takes the header's lock as the plug-in does: a process that ended holding it cannot
// keep the renderer out, a living holder does, and the reader frees only its own.
TEST_F(LinkReaderTest, ALockLeftByAnEndedProcessIsTakenOverAndALivingHoldersIsWaitedFor) {
  LinkReader reader;
  std::string problem;
  ASSERT_TRUE(reader.Open(name_, problem)) << problem;
  MirroredScene scene;
  platform::ChildProcess child;
  ASSERT_TRUE(platform::ChildProcess::StartCommand(u"exit 0", false, child));
  const uint32_t ended = child.processId();
  ASSERT_EQ(child.Wait(std::chrono::seconds(60)), 0);
  std::memcpy(bytes() + offsetof(wire::HeaderRecord, lockOwner), &ended, 4);
  ASSERT_TRUE(reader.Read(scene));
  EXPECT_EQ(scene.surfaces.size(), 3u);
  EXPECT_EQ(LockOwner(), 0u) << "the reader let go of the lock it took over";

  const uint32_t living = AnotherLivingProcess();
  ASSERT_NE(living, 0u);
  std::memcpy(bytes() + offsetof(wire::HeaderRecord, lockOwner), &living, 4);
  EXPECT_FALSE(reader.Read(scene));
  EXPECT_EQ(LockOwner(), living);
}

// Vertex and UV set counts whose sizes add up past 2^64 to almost nothing must not pass for a
// mesh that fits its segment.
TEST_F(LinkReaderTest, MeshCountsThatWrapRoundAreRefused) {
  uint32_t meshSegment;
  std::memcpy(&meshSegment, bytes() + 2048 * 3 + 1924, 4);
  platform::SharedMemory segment;
  ASSERT_EQ(platform::SharedMemory::Open(SharedMemoryChannel::SegmentName(platform::GetCurrentProcessId(), meshSegment), segment), 0);
  const uint32_t counts[3] = {1u << 30, 0, (1u << 31) - 3};  // 24·v + 8·v·uv is exactly 2^64
  std::memcpy(segment.data(), counts, sizeof(counts));
  LinkReader reader;
  std::string problem;
  ASSERT_TRUE(reader.Open(name_, problem)) << problem;
  MirroredScene scene;
  ASSERT_TRUE(reader.Read(scene));
  ASSERT_FALSE(scene.surfaces.empty());
  EXPECT_EQ(scene.surfaces[0].vertexCount, 0u);
  EXPECT_TRUE(scene.surfaces[0].positions.empty());
  ASSERT_FALSE(scene.problems.empty());
  EXPECT_NE(scene.problems[0].find("counts 1073741824 vertices"), std::string::npos) << scene.problems[0];
}

TEST_F(LinkReaderTest, DamagedHeadersAreRefusedAtOpen) {
  const uint32_t blockCount = 1u << 30;
  std::memcpy(bytes() + 36, &blockCount, 4);  // far more blocks than the mapping holds
  LinkReader reader;
  std::string problem;
  EXPECT_FALSE(reader.Open(name_, problem));
  EXPECT_NE(problem.find("blocks"), std::string::npos) << problem;
  const uint32_t restored = 32;
  std::memcpy(bytes() + 36, &restored, 4);
  std::memcpy(bytes(), "HEAX", 4);
  EXPECT_FALSE(reader.Open(name_, problem));
  std::memcpy(bytes(), "HEAD", 4);
}

// The reader over copies of the memory (as the fuzz target feeds it) sees what it sees through the
// mappings, and asks for segments by the numbers the surfaces name.
TEST_F(LinkReaderTest, CopiedMemoryReadsAsTheMappings) {
  std::vector<uint8_t> main(bytes(), bytes() + view_.size());
  std::map<uint32_t, std::vector<uint8_t>> segments;
  const auto source = [&](uint32_t number) -> std::optional<std::span<const uint8_t>> {
    platform::SharedMemory segment;
    if (platform::SharedMemory::Open(SharedMemoryChannel::SegmentName(platform::GetCurrentProcessId(), number), segment) != 0) return std::nullopt;
    const auto* data = static_cast<const uint8_t*>(segment.data());
    return std::span<const uint8_t>(segments[number] = std::vector<uint8_t>(data, data + segment.size()));
  };
  LinkReader mapped, copied;
  std::string problem;
  ASSERT_TRUE(mapped.Open(name_, problem)) << problem;
  ASSERT_TRUE(copied.OpenBytes(main, source, problem)) << problem;
  MirroredScene fromMappings, fromCopies;
  ASSERT_TRUE(mapped.Read(fromMappings));
  ASSERT_TRUE(copied.Read(fromCopies));
  fromCopies.documentName = fromMappings.documentName;  // copies have no name
  EXPECT_EQ(SceneToJson(fromCopies), SceneToJson(fromMappings));
  EXPECT_EQ(segments.size(), 3u);  // two meshes and a texture
  copied.CloseLink();
  EXPECT_NE(main[12] & 2, 0);  // the close flag went into the copy
}

// Random values in the fields that steer the reader: sizes, counts, segment numbers, the high
// water. Whatever they hold, the reader stays inside its mappings (the sanitizer build checks
// every access) and hands on only meshes whose indices address their own vertices.
TEST_F(LinkReaderTest, RandomValuesInRecordFieldsNeverLeadOutsideTheMappings) {
  const size_t mainBytes = view_.size();
  const std::vector<uint8_t> original(bytes(), bytes() + mainBytes);
  const uint32_t meshSegment = [&] {
    uint32_t number;
    std::memcpy(&number, bytes() + 2048 * 3 + 1924, 4);  // first surface, after VIEW and STAT
    return number;
  }();
  platform::SharedMemory segment;
  ASSERT_EQ(platform::SharedMemory::Open(SharedMemoryChannel::SegmentName(platform::GetCurrentProcessId(), meshSegment), segment), 0);
  auto* meshBytes = static_cast<uint8_t*>(segment.data());
  const std::vector<uint8_t> originalMesh(meshBytes, meshBytes + segment.size());

  // Header fields, then per-surface fields, as offsets into the mapping.
  std::vector<size_t> fields = {4, 32, 40, 44, 48};
  for (size_t block : {3, 4, 5}) {
    for (size_t offset : {0, 4, 12, 544, 804, 856, 1380, 1384, 1388, 1912, 1916, 1920, 1924, 1928}) {
      fields.push_back(2048 * block + offset);
    }
  }
  std::mt19937 random(20261207);
  const uint32_t interesting[] = {0, 1, 2, 3, 12, 20, 1932, 2047, 2048, 0x7FFFFFFF, 0x80000000, 0xFFFFFFF0, 0xFFFFFFFF};
  auto randomValue = [&] {
    return random() % 2 ? interesting[random() % std::size(interesting)] : static_cast<uint32_t>(random());
  };

  for (int round = 0; round < 400; ++round) {
    std::memcpy(bytes(), original.data(), mainBytes);
    std::memcpy(meshBytes, originalMesh.data(), originalMesh.size());
    for (int change = 0, changes = 1 + int(random() % 3); change < changes; ++change) {
      const uint32_t value = randomValue();
      if (random() % 4 == 0) {
        std::memcpy(meshBytes + 4 * (random() % 3), &value, 4);  // vertex, index or UV set count
      } else {
        std::memcpy(bytes() + fields[random() % fields.size()], &value, 4);
      }
    }
    LinkReader reader;
    std::string problem;
    if (!reader.Open(name_, problem)) continue;
    MirroredScene scene;
    ASSERT_TRUE(reader.Read(scene));
    for (const MirroredSurface& surface : scene.surfaces) {
      ASSERT_EQ(surface.positions.size(), 3ull * surface.vertexCount);
      ASSERT_EQ(surface.indices.size() % 3, 0u);
      for (uint32_t index : surface.indices) ASSERT_LT(index, surface.vertexCount) << "round " << round;
    }
  }
  std::memcpy(bytes(), original.data(), mainBytes);
}

}  // namespace

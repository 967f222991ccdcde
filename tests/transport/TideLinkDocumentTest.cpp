// Surfaces, commits and the camera, checked in the bytes the renderer reads.
#include "platform/Parallel.h"
#include "tests/transport/TideLinkDocumentFixture.h"
#include "transport/TideLinkSurfaceImpl.h"

namespace {

// Offsets of the SRFC record.
constexpr size_t kMaterialVersion = 20, kName = 24, kType = 544, kLibraryId = 548, kColor = 804,
                 kParams = 808, kTexture1 = 856, kTexture2 = 1388, kMeshVersion = 1920,
                 kMeshSegment = 1924, kMeshCapacity = 1928;
// Offsets within a texture's fields.
constexpr size_t kStamp = 0, kPath = 4, kSegment = 524, kSize = 528;

class TideLinkDocumentTest : public TideLinkDocumentFixture {};

TEST_F(TideLinkDocumentTest, SurfaceNamesAreMadeUniqueByNumbering) {
  EXPECT_EQ(document_->CreateSurface(u"Wall", true)->GetName(), u"Wall");
  const auto second = document_->CreateSurface(u"Wall", true);
  EXPECT_EQ(second->GetName(), u"Wall(1)");
  EXPECT_EQ(document_->CreateSurface(u"Wall", true)->GetName(), u"Wall(2)");
  EXPECT_EQ(document_->CreateSurface(u"Wall", false), nullptr);
  EXPECT_EQ(document_->CreateSurface(u"wall", false)->GetName(), u"wall");
  second->SetName(u"Wall(1)", true);
  EXPECT_EQ(second->GetName(), u"Wall(1)");  // itself is no rival
  second->SetName(u"Wall", true);
  EXPECT_EQ(second->GetName(), u"Wall(1)");
  document_->RemoveSurface(second);
  EXPECT_EQ(document_->MakeUniqueName(u"Wall(1)", nullptr), u"Wall(1)");
}

TEST_F(TideLinkDocumentTest, CommitWritesTheSurfaceRecordAndItsMeshSegment) {
  const auto surface = document_->CreateSurface(u"Brick", true);
  auto* impl = dynamic_cast<TideLinkSurfaceImpl*>(surface.get());
  surface->SetSurfaceType(4);
  surface->SetColor(0x123456);
  impl->SetLibraryId(u"lib-7");
  impl->SetP5(0.25f);
  impl->SetP8(8.0f);
  ASSERT_TRUE(surface->SetMesh(Triangles(2)));
  EXPECT_TRUE(surface->IsDirty());
  document_->Commit();

  EXPECT_EQ(HeaderVersion(), 2u);
  EXPECT_EQ(U32(base_, 12), 1u);
  EXPECT_EQ(U32(base_, 196), 2u);
  EXPECT_EQ(U32(base_, 24), 0u);  // unlocked again
  const uint8_t* record = Block(2);
  EXPECT_EQ(Tag(record, 0), "SRFC");
  EXPECT_EQ(U32(record, 4), 1932u);
  EXPECT_EQ(U32(record, 8), 3u);
  EXPECT_EQ(U32(record, 12), 0x101u);
  EXPECT_EQ(U32(record, 16), 4u);  // after VIEW, STAT and its own allocation
  EXPECT_EQ(U32(record, kMaterialVersion), 1u);
  EXPECT_EQ(Text(record, kName, 260), u"Brick");
  EXPECT_EQ(U32(record, kType), 4u);
  EXPECT_EQ(Text(record, kLibraryId, 128), u"lib-7");
  EXPECT_EQ(U32(record, kColor), 0x123456u);
  const float parameters[8] = {0.5f, 1.0f, 0.0f, 0.0f, 0.25f, 0.0f, 1.0f, 8.0f};
  for (size_t index = 0; index < 8; ++index) EXPECT_EQ(F32(record, kParams + 4 * index), parameters[index]);
  EXPECT_TRUE(AllZero(record, 840, 1920));  // no textures
  EXPECT_EQ(U32(record, kMeshVersion), 1u);
  const uint32_t meshBytes = 12 + 4 * (6 * 6 + 2 * 6 + 6);
  EXPECT_EQ(U32(record, kMeshCapacity), 2 * meshBytes);
  const uint8_t* segment = MapSegmentAsReader(U32(record, kMeshSegment));
  ASSERT_NE(segment, nullptr);
  EXPECT_PRED2(ViewHolds, readers_.back().size(), 2 * meshBytes);
  EXPECT_EQ(U32(segment, 0), 6u);
  EXPECT_EQ(U32(segment, 8), 1u);
  EXPECT_EQ(F32(segment, 12 + 12 * 5), 5.0f);
  EXPECT_EQ(U32(segment, meshBytes - 4), 5u);
  EXPECT_FALSE(surface->IsDirty());
  EXPECT_TRUE(HasConnectionValue());

  // Nothing pending: the header stays as it is.
  const std::vector<uint8_t> before(base_, base_ + 2048 * 4);
  document_->Commit();
  EXPECT_TRUE(std::equal(before.begin(), before.end(), base_));
}

TEST_F(TideLinkDocumentTest, OverlongNamesAreCutAtTheirFieldsWithoutSpillingOver) {
  const auto surface = document_->CreateSurface(std::u16string(300, u'n'), true);
  dynamic_cast<TideLinkSurfaceImpl*>(surface.get())->SetLibraryId(std::u16string(200, u'l'));
  surface->SetSurfaceType(9);
  surface->SetTextureFile(std::u16string(300, u'p'));  // no such file: stays empty
  document_->Commit();
  EXPECT_EQ(Text(Block(2), kName, 260), std::u16string(260, u'n'));
  EXPECT_EQ(U32(Block(2), kType), 9u);
  EXPECT_EQ(Text(Block(2), kLibraryId, 128), std::u16string(128, u'l'));
  EXPECT_EQ(U32(Block(2), kColor), 0xAAAAAAu);
}

TEST_F(TideLinkDocumentTest, MeshSegmentIsReusedWhileTheMeshFitsAndReplacedWhenItGrows) {
  const auto surface = document_->CreateSurface(u"Grow", true);
  surface->SetMesh(Triangles(10));
  document_->Commit();
  const uint32_t first = U32(Block(2), kMeshSegment);
  surface->SetMesh(Triangles(19));  // within twice the first size
  document_->Commit();
  EXPECT_EQ(U32(Block(2), kMeshSegment), first);
  EXPECT_EQ(U32(Block(2), kMeshVersion), 2u);
  surface->SetMesh(Triangles(25));
  document_->Commit();
  const uint32_t second = U32(Block(2), kMeshSegment);
  EXPECT_NE(second, first);
  EXPECT_TRUE(SegmentExists(first));  // until the renderer has heard of the new one
  document_->Commit();                // nothing changed, yet the queue is served
  EXPECT_FALSE(SegmentExists(first));

  // A refused mesh leaves the last one in place; clearing it drops the segment.
  TideLinkMesh broken = Triangles(1);
  broken.positions.push_back(0);
  EXPECT_FALSE(surface->SetMesh(broken));
  TideLinkMesh kept;
  ASSERT_TRUE(surface->GetMesh(kept));
  EXPECT_EQ(kept.vertexCount, 75u);
  EXPECT_FALSE(surface->IsDirty());
  surface->ClearMesh();
  document_->Commit();
  EXPECT_EQ(U32(Block(2), kMeshSegment), 0u);
  EXPECT_EQ(U32(Block(2), kMeshCapacity), 0u);
  document_->Commit();
  EXPECT_FALSE(SegmentExists(second));
}

TEST_F(TideLinkDocumentTest, HandedOverMeshCommitsTheBytesOfACopiedOneAndGivesBackThePrevious) {
  const auto copied = document_->CreateSurface(u"Copied", true);
  const auto taken = document_->CreateSurface(u"Taken", true);
  ASSERT_TRUE(copied->SetMesh(Triangles(4)));
  TideLinkMesh handed = Triangles(4);
  ASSERT_TRUE(taken->TakeMesh(handed));
  EXPECT_EQ(handed.vertexCount, 0u);  // the surface had no mesh to give back
  EXPECT_TRUE(handed.positions.empty());
  EXPECT_TRUE(taken->IsDirty());
  document_->Commit();
  const uint32_t capacity = U32(Block(2), kMeshCapacity);
  ASSERT_EQ(U32(Block(3), kMeshCapacity), capacity);
  const uint8_t* copiedSegment = MapSegmentAsReader(U32(Block(2), kMeshSegment));
  const uint8_t* takenSegment = MapSegmentAsReader(U32(Block(3), kMeshSegment));
  ASSERT_TRUE(copiedSegment && takenSegment);
  EXPECT_TRUE(std::equal(copiedSegment, copiedSegment + capacity, takenSegment));

  // The next hand-over gives back the mesh it replaces; a refused one stays with the caller.
  TideLinkMesh next = Triangles(2);
  ASSERT_TRUE(taken->TakeMesh(next));
  EXPECT_EQ(next.vertexCount, 12u);
  EXPECT_EQ(next.positions, Triangles(4).positions);
  TideLinkMesh broken = Triangles(1);
  broken.indices.pop_back();
  EXPECT_FALSE(taken->TakeMesh(broken));
  EXPECT_EQ(broken.indices.size(), 2u);
  document_->Commit();
  EXPECT_EQ(U32(takenSegment, 0), 6u);
  EXPECT_EQ(U32(takenSegment, 12 + 4 * (6 * 6 + 2 * 6 + 5)), 5u);
}

TEST_F(TideLinkDocumentTest, TextureImageGoesToASegmentAndAFileToThePathField) {
  const auto surface = document_->CreateSurface(u"Tiles", true);
  surface->SetColor(0x102030);
  std::vector<uint8_t> pixels(4 * 4 * 4, 7);
  ASSERT_TRUE(surface->SetTextureImage(4, 4, pixels.data(), true));
  ASSERT_TRUE(surface->SetSecondTextureImage(2, 2, pixels.data(), false));
  document_->Commit();
  const uint8_t* record = Block(2);
  EXPECT_EQ(U32(record, 12), 0x701u);
  EXPECT_EQ(U32(record, kColor), 0xFFFFFFu);
  EXPECT_NE(U32(record, kTexture1 + kStamp), 0u);
  EXPECT_EQ(U32(record, kTexture1 + kSize), 54u + 64u);
  const uint32_t imageSegment = U32(record, kTexture1 + kSegment);
  const uint8_t* image = MapSegmentAsReader(imageSegment);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(image), 2), "BM");
  EXPECT_EQ(image[54 + 63], 7);
  EXPECT_EQ(U32(record, kTexture2 + kSize), 54u + 12u);
  // A new image of the same size is written into the same segment.
  const std::vector<uint8_t> repainted(4 * 4 * 4, 9);
  ASSERT_TRUE(surface->SetTextureImage(4, 4, repainted.data(), true));
  document_->Commit();
  EXPECT_EQ(U32(record, kTexture1 + kSegment), imageSegment);
  EXPECT_EQ(image[54 + 63], 9);

  const std::string file = (scratch() / "wood.jpg").string();
  std::ofstream(file) << "jpeg";
  EXPECT_TRUE(surface->SetTextureFile(std::u16string(file.begin(), file.end())));
  document_->Commit();
  EXPECT_EQ(Text(record, kTexture1 + kPath, 260), std::u16string(file.begin(), file.end()));
  EXPECT_EQ(U32(record, kTexture1 + kSegment), 0u);
  EXPECT_EQ(U32(record, kTexture1 + kSize), 0u);
  EXPECT_EQ(U32(record, kColor), 0xFFFFFFu);
  document_->Commit();
  EXPECT_FALSE(SegmentExists(imageSegment));

  surface->ClearTexture();
  surface->SetColor(0x102030);
  document_->Commit();
  EXPECT_EQ(U32(record, kTexture1 + kStamp), 0u);
  EXPECT_EQ(Text(record, kTexture1 + kPath, 260), u"");
  EXPECT_EQ(U32(record, kColor), 0x102030u);
}

TEST_F(TideLinkDocumentTest, RemovedSurfaceBecomesSrfiAndItsSegmentsGoInTheSameCommit) {
  const auto surface = document_->CreateSurface(u"Gone", true);
  surface->SetMesh(Triangles(3));
  const uint8_t pixel[4] = {};
  surface->SetTextureImage(1, 1, pixel, true);
  document_->Commit();
  const uint32_t mesh = U32(Block(2), kMeshSegment);
  const uint32_t version = U32(Block(2), 16);
  document_->RemoveSurface(surface);
  EXPECT_TRUE(surface->IsValid());  // until the commit
  document_->Commit();

  const uint8_t* record = Block(2);
  EXPECT_EQ(Tag(record, 0), "SRFI");
  EXPECT_GT(U32(record, 16), version);
  EXPECT_EQ(U32(record, 12) & 1, 1u);
  for (size_t offset : {kTexture1 + kSegment, kTexture1 + kSize, kTexture2 + kSegment,
                        kTexture2 + kSize, kMeshSegment, kMeshCapacity}) {
    EXPECT_EQ(U32(record, offset), 0u) << offset;
  }
  EXPECT_EQ(Text(record, kName, 260), u"Gone");
  EXPECT_EQ(U32(base_, 40), 3u);  // the block stays allocated
  EXPECT_FALSE(surface->IsValid());
  EXPECT_FALSE(surface->HasMesh());
  EXPECT_FALSE(SegmentExists(mesh)) << "the record no longer names it";
}

class FixedView : public IViewDescriptionService {
public:
  explicit FixedView(uint32_t cameraApplies) {
    for (size_t index = 0; index < sizeof(bytes); ++index) bytes[index] = static_cast<uint8_t>(index);
    std::memcpy(bytes + 584, &cameraApplies, 4);
  }
  uint32_t AddRef() override { return 1; }
  uint32_t Release() override { return 1; }
  bool GetViewDescription(uint8_t* description) override {
    std::memcpy(description, bytes, sizeof(bytes));
    return true;
  }
  uint8_t bytes[628];
};

TEST_F(TideLinkDocumentTest, CameraChangesRewriteTheViewRecordWithANewVersion) {
  float matrix[16];
  for (int index = 0; index < 16; ++index) matrix[index] = 0.5f * index;
  document_->SetCamera(matrix, 60.0f);
  const uint8_t* view = Block(0);
  EXPECT_EQ(Tag(view, 0), "VIEW");
  EXPECT_EQ(U32(view, 12), 1u);
  EXPECT_EQ(U32(view, 16), 3u);
  EXPECT_EQ(U32(view, 20), 1u);
  EXPECT_EQ(std::memcmp(view + 24, matrix, 64), 0);
  EXPECT_TRUE(AllZero(view, 88, 612));
  EXPECT_EQ(F32(view, 612), 60.0f);
  EXPECT_TRUE(AllZero(view, 616, 2048));
  EXPECT_EQ(HeaderVersion(), 1u);  // the camera is not a commit

  document_->ClearCamera();
  EXPECT_EQ(U32(view, 20), 0u);
  EXPECT_EQ(U32(view, 16), 4u);

  for (uint32_t cameraApplies : {1u, 7u}) {
    FixedView host(cameraApplies);
    document_->SetViewFromHost(&host);
    EXPECT_EQ(U32(view, 20), cameraApplies == 1 ? 1u : 0u);
    EXPECT_EQ(std::memcmp(view + 24, host.bytes, 628), 0);
  }
  document_->SetViewFromHost(nullptr);
  document_->SetCamera(nullptr, 1.0f);
  EXPECT_EQ(U32(view, 16), 6u);
}

TEST_F(TideLinkDocumentTest, SurfacesOutlivingTheirDocumentOrRecordAreInert) {
  const auto kept = document_->CreateSurface(u"Kept", true);
  const auto removed = document_->CreateSurface(u"Removed", true);
  const auto freed = document_->CreateSurface(u"Freed", true);
  freed->SetMesh(Triangles(1));
  document_->Commit();
  // Freeing a live surface's block must not let it write into the block's next owner.
  const uint32_t freedMesh = U32(Block(4), kMeshSegment);
  document_->FreeRecord(5);
  EXPECT_FALSE(freed->IsValid());
  EXPECT_FALSE(SegmentExists(freedMesh));
  const auto successor = document_->CreateSurface(u"Successor", true);
  freed->SetColor(1);
  document_->Commit();
  EXPECT_EQ(Text(Block(4), kName, 260), u"Successor");

  document_->RemoveSurface(removed);
  document_->Close();
  EXPECT_FALSE(document_->IsOpen());
  EXPECT_FALSE(HasConnectionValue());
  for (const auto& surface : {kept, removed, successor}) {
    EXPECT_FALSE(surface->IsValid());
    EXPECT_EQ(dynamic_cast<TideLinkObjectImpl*>(surface.get())->GetRecordId(), 0u);
  }
  document_.reset();
  documents_.clear();
  kept->SetName(u"Other", true);
  EXPECT_EQ(kept->GetName(), u"Kept");
  EXPECT_FALSE(dynamic_cast<TideLinkSurfaceImpl*>(kept.get())->Flush());
}

TEST_F(TideLinkDocumentTest, SurfacesFilledInParallelAreAllCommitted) {
  std::vector<std::shared_ptr<TideLinkSurface>> surfaces;
  for (int index = 0; index < 16; ++index) surfaces.push_back(document_->CreateSurface(u"S", true));
  platform::ParallelFor(0, surfaces.size(), 1, [&](size_t begin, size_t end) {
    for (size_t index = begin; index < end; ++index) {
      surfaces[index]->SetMesh(Triangles(static_cast<uint32_t>(index + 1)));
    }
  });
  document_->Commit();
  for (size_t index = 0; index < surfaces.size(); ++index) {
    const uint8_t* segment = MapSegmentAsReader(U32(Block(2 + index), kMeshSegment));
    ASSERT_NE(segment, nullptr);
    EXPECT_EQ(U32(segment, 0), 3 * (index + 1));
  }
}

TEST_F(TideLinkDocumentTest, OptimizeMeshWeldsOnceAndKeepsTheTriangles) {
  const auto surface = document_->CreateSurface(u"Weld", true);
  auto* impl = dynamic_cast<TideLinkSurfaceImpl*>(surface.get());
  EXPECT_FALSE(impl->OptimizeMesh());
  TideLinkMesh quad = TideLinkMesh::Create(6, 6, 1);  // two triangles sharing two corners
  const float corners[6][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}};
  for (int vertex = 0; vertex < 6; ++vertex) {
    std::copy(corners[vertex], corners[vertex] + 3, quad.positions.begin() + 3 * vertex);
    quad.indices[vertex] = vertex;
  }
  surface->SetMesh(quad);
  EXPECT_TRUE(impl->OptimizeMesh());
  TideLinkMesh welded;
  surface->GetMesh(welded);
  EXPECT_EQ(welded.vertexCount, 4u);
  EXPECT_EQ(welded.indexCount, 6u);
  EXPECT_TRUE(impl->OptimizeMesh());
}

// More surfaces than blocks: those that fit reach the renderer whole, each of the others is
// named once in the debug log however often the document is committed, and nothing overlaps.
TEST_F(TideLinkDocumentTest, SurfacesBeyondAFullDocumentAreLeftOutAndLoggedOnce) {
  const std::u16string name = DocumentName("small");
  const auto small = Open(name, 8);  // six blocks left after the view and status records
  const auto surfaceName = [](uint32_t index) { return std::u16string{u'S', char16_t(u'0' + index)}; };
  std::vector<std::shared_ptr<TideLinkSurface>> surfaces;
  for (uint32_t index = 0; index < 9; ++index) {
    surfaces.push_back(small->CreateSurface(surfaceName(index), false));
    ASSERT_NE(surfaces.back(), nullptr);
    surfaces.back()->SetMesh(Triangles(index + 1));
  }
  small->Commit();
  surfaces[0]->SetColor(0x010203);
  small->Commit();

  const MirroredScene scene = ReadAsRenderer(name);
  ASSERT_EQ(scene.surfaces.size(), 6u);
  for (uint32_t index = 0; index < 6; ++index) {
    EXPECT_EQ(scene.surfaces[index].name, surfaceName(index));
    EXPECT_EQ(scene.surfaces[index].triangleCount(), index + 1u);
  }
  EXPECT_EQ(scene.surfaces[0].color & 0xFFFFFF, 0x010203u);
  for (const char* leftOut : {"S6", "S7", "S8"}) {
    EXPECT_EQ(LogLinesWith(std::string("is full: surface ") + leftOut + " is left out"), 1u) << leftOut;
  }
  EXPECT_EQ(LogLinesWith("is full"), 3u);
}

}  // namespace

#include "transport/TideLinkSurfaceImpl.h"

#include <cstring>
#include <iterator>
#include <utility>

#include "diag/DebugLog.h"
#include "geometry/MeshProcessor.h"
#include "platform/TextConversion.h"
#include "transport/ExportMeshText.h"
#include "transport/TideLinkDocumentImpl.h"
#include "transport/XmlEscape.h"

namespace {

// A textured surface shows its texture untinted.
constexpr uint32_t kTexturedColor = 0xFFFFFF;

// Names of the surface type codes 1 to 9 in the COLLADA file.
constexpr const char* kSurfaceTypeNames[] = {"",         "water",     "glass",     "landscape",
                                             "standard", "color",     "billboard", "invisible",
                                             "lightmap", "waterfall"};

std::string SurfaceTypeName(uint32_t code) {
  return code < std::size(kSurfaceTypeNames) ? kSurfaceTypeNames[code] : "";
}

}  // namespace

TideLinkSurfaceImpl::TideLinkSurfaceImpl(std::weak_ptr<TideLinkDocumentImpl> document,
                                         wire::RecordHeader* record)
    : TideLinkObjectImpl(std::move(document), record) {}

bool TideLinkSurfaceImpl::IsValid() const { return TideLinkObjectImpl::IsValid(); }

bool TideLinkSurfaceImpl::IsDirty() const {
  return dirty_ || materialDirty_ || texture_.changed() || secondTexture_.changed();
}

void TideLinkSurfaceImpl::SetName(const std::u16string& name, bool makeUnique) {
  if (!makeUnique) {
    name_ = name;
  } else if (const auto document = document_.lock()) {
    name_ = document->MakeUniqueName(name, this);
  }
  materialDirty_ = true;
}

std::u16string TideLinkSurfaceImpl::GetName() const { return name_; }

void TideLinkSurfaceImpl::SetSurfaceType(uint32_t code) {
  surfaceType_ = code;
  materialDirty_ = true;
}

uint32_t TideLinkSurfaceImpl::GetSurfaceType() const { return surfaceType_; }

void TideLinkSurfaceImpl::SetColor(uint32_t color) {
  color_ = color;
  materialDirty_ = true;
}

void TideLinkSurfaceImpl::SetLibraryId(const std::u16string& libraryId) {
  libraryId_ = libraryId;
  materialDirty_ = true;
}

void TideLinkSurfaceImpl::SetParameter(int index, float value) {
  parameters_[index] = value;
  materialDirty_ = true;
}

void TideLinkSurfaceImpl::SetP1(float value) { SetParameter(0, value); }
void TideLinkSurfaceImpl::SetP2(float value) { SetParameter(1, value); }
void TideLinkSurfaceImpl::SetP3(float value) { SetParameter(2, value); }
void TideLinkSurfaceImpl::SetP4(float value) { SetParameter(3, value); }
void TideLinkSurfaceImpl::SetP5(float value) { SetParameter(4, value); }
void TideLinkSurfaceImpl::SetP6(float value) { SetParameter(5, value); }
void TideLinkSurfaceImpl::SetP7(float value) { SetParameter(6, value); }
void TideLinkSurfaceImpl::SetP8(float value) { SetParameter(7, value); }

bool TideLinkSurfaceImpl::SetTextureImage(uint64_t width, uint64_t height, const uint8_t* pixels,
                                          bool hasAlpha) {
  return texture_.SetImage(width, height, pixels, hasAlpha);
}

bool TideLinkSurfaceImpl::SetTextureFile(const std::u16string& path) {
  return texture_.SetFile(path);
}

void TideLinkSurfaceImpl::ClearTexture() { texture_.Clear(); }

bool TideLinkSurfaceImpl::SetSecondTextureImage(uint64_t width, uint64_t height,
                                                const uint8_t* pixels, bool hasAlpha) {
  return secondTexture_.SetImage(width, height, pixels, hasAlpha);
}

bool TideLinkSurfaceImpl::SetSecondTextureFile(const std::u16string& path) {
  return secondTexture_.SetFile(path);
}

void TideLinkSurfaceImpl::ClearSecondTexture() { secondTexture_.Clear(); }

bool TideLinkSurfaceImpl::SetMesh(const TideLinkMesh& mesh) {
  if (!mesh_.Assign(mesh.vertexCount, mesh.indexCount, mesh.uvSetCount, mesh.positions,
                    mesh.normals, mesh.uvs, mesh.indices)) {
    return false;
  }
  dirty_ = true;
  optimized_ = false;
  return true;
}

bool TideLinkSurfaceImpl::TakeMesh(TideLinkMesh& mesh) {
  if (!mesh_.Take(mesh)) return false;
  dirty_ = true;
  optimized_ = false;
  return true;
}

bool TideLinkSurfaceImpl::SetMeshArrays(const std::vector<float>& positions,
                                        const std::vector<float>& normals,
                                        const std::vector<float>& uvs,
                                        const std::vector<uint32_t>& indices) {
  if (!mesh_.Assign(positions.size() / 3, indices.size(), 1,
                    std::span(positions).first(positions.size() / 3 * 3), normals, uvs, indices)) {
    return false;
  }
  dirty_ = true;
  optimized_ = false;
  return true;
}

void TideLinkSurfaceImpl::ClearMesh() {
  if (mesh_.empty()) return;
  mesh_.Clear();
  dirty_ = true;
  optimized_ = false;
}

bool TideLinkSurfaceImpl::HasMesh() const { return !mesh_.empty(); }

bool TideLinkSurfaceImpl::GetMesh(TideLinkMesh& mesh) const { return mesh_.Decode(mesh); }

bool TideLinkSurfaceImpl::OptimizeMesh() {
  if (mesh_.empty()) return false;
  if (optimized_) return true;
  TideLinkMesh mesh;
  GetMesh(mesh);
  if (optimise(mesh)) TakeMesh(mesh);
  optimized_ = true;
  return true;
}

std::unique_ptr<ExportNode> TideLinkSurfaceImpl::BuildExportNode(bool optimize) const {
  if (mesh_.empty() || mesh_.mesh().vertexCount == 0) return nullptr;
  // Only a welded mesh needs a copy of its own.
  TideLinkMesh welded;
  if (optimize) {
    GetMesh(welded);
    optimise(welded);
  }
  auto node = std::make_unique<ExportNode>();
  node->name = platform::Utf8FromUtf16(XmlEscape(name_));
  node->libraryId = platform::Utf8FromUtf16(XmlEscape(libraryId_));
  node->surfaceType = SurfaceTypeName(surfaceType_);
  node->diffuseColor = color_;
  node->opacity = parameters_[4];
  node->shininess = parameters_[1];
  FormatExportMeshText(optimize ? welded : mesh_.mesh(), *node);
  if (texture_.state() != TextureSlot::kEmpty) node->texture = &texture_;
  return node;
}

wire::SurfaceRecord& TideLinkSurfaceImpl::Record() const {
  return *reinterpret_cast<wire::SurfaceRecord*>(record_);
}

void TideLinkSurfaceImpl::WriteMaterial(wire::SurfaceRecord& record) const {
  record.color = color_;
  std::memcpy(record.params, parameters_, sizeof(parameters_));
  wire::WriteText(record.name, name_);
  record.surfaceType = surfaceType_;
  wire::WriteText(record.libraryId, libraryId_);
  ++record.materialVersion;
}

void TideLinkSurfaceImpl::Release(TideLinkDocumentImpl* document, SegmentHold& segment) {
  if (document) document->QueueSegmentRelease(segment.number);
  segment = {};
}

void TideLinkSurfaceImpl::ReportMissingSegment(const char* part, uint32_t size) {
  if (missingSegmentReported_) return;
  missingSegmentReported_ = true;
  DebugLog("TideLink surface %s: no shared memory for its %s (%u bytes); it is left out until a "
           "later commit can create it",
           platform::Utf8FromUtf16(name_).c_str(), part, size);
}

bool TideLinkSurfaceImpl::WriteTexture(TideLinkDocumentImpl& document, const TextureSlot& slot,
                                       wire::TextureFields& fields, SegmentHold& segment) {
  bool written = true;
  if (slot.imageSize() > 0) {
    // A segment is reused while the new image is no larger than the last one written into it.
    if (segment.number == 0 || segment.size < slot.imageSize()) {
      Release(&document, segment);
      segment.number = document.CreateSegment(GetRecordId(), slot.imageSize());
      written = segment.number != 0;
      if (!written) ReportMissingSegment("texture", slot.imageSize());
    }
    segment.size = segment.number != 0 ? slot.imageSize() : 0;
    document.WriteSegment(segment.number, slot.image(), slot.imageSize());
    wire::WriteText(fields.path, u"");
  } else {
    wire::WriteText(fields.path, slot.path());
    Release(&document, segment);
  }
  fields.segment = segment.number;
  fields.size = segment.size;
  fields.stamp = static_cast<uint32_t>(slot.stamp());
  return written;
}

bool TideLinkSurfaceImpl::WriteMesh(TideLinkDocumentImpl& document, wire::SurfaceRecord& record) {
  bool written = true;
  if (mesh_.empty()) {
    Release(&document, meshSegment_);
  } else if (meshSegment_.size < mesh_.size()) {
    Release(&document, meshSegment_);
    // A mesh whose segment would not fit the 32-bit capacity gets none rather than a wrapped one.
    if (const std::optional<uint32_t> capacity = MeshSegmentCapacity(mesh_.size())) {
      meshSegment_.number = document.CreateSegment(GetRecordId(), *capacity);
      meshSegment_.size = meshSegment_.number != 0 ? *capacity : 0;
      written = meshSegment_.number != 0;
      if (!written) ReportMissingSegment("mesh", *capacity);
    }
  }
  // Encoded straight into the segment: the one copy of the mesh a commit makes.
  if (uint8_t* bytes = document.WritableSegment(meshSegment_.number, mesh_.size())) {
    mesh_.Encode(bytes);
  }
  record.meshSegment = meshSegment_.number;
  record.meshCapacity = meshSegment_.size;
  ++record.meshVersion;
  return written;
}

bool TideLinkSurfaceImpl::Flush() {
  if (!IsValid()) return false;
  const auto document = document_.lock();
  if (!document || !document->IsOpen()) return false;
  wire::SurfaceRecord& record = Record();
  uint32_t flags = wire::kFlagChanged;
  if (materialDirty_) {
    WriteMaterial(record);
    flags |= wire::kFlagMaterialWritten;
  }
  bool whole = true;
  if (texture_.changed()) {
    const bool written = WriteTexture(*document, texture_, record.texture1, texture1Segment_);
    if (!texture_.path().empty() || texture1Segment_.number != 0) record.color = kTexturedColor;
    flags |= wire::kFlagTexture1Written;
    if (written) texture_.ResetChanged();
    whole &= written;
  }
  if (secondTexture_.changed()) {
    const bool written = WriteTexture(*document, secondTexture_, record.texture2, texture2Segment_);
    flags |= wire::kFlagTexture2Written;
    if (written) secondTexture_.ResetChanged();
    whole &= written;
  }
  // An empty texture never shows a stamp, whichever part changed.
  if (texture_.path().empty() && texture1Segment_.number == 0) record.texture1.stamp = 0;
  if (secondTexture_.path().empty() && texture2Segment_.number == 0) record.texture2.stamp = 0;
  if (dirty_) {
    dirty_ = !WriteMesh(*document, record);
    whole &= !dirty_;
  }
  materialDirty_ = false;
  if (whole) missingSegmentReported_ = false;
  document->MarkRecord(record_, flags);
  return true;
}

bool TideLinkSurfaceImpl::Detach() {
  if (!IsValid()) return false;
  ClearMesh();
  ClearTexture();
  ClearSecondTexture();
  wire::SurfaceRecord& record = Record();
  record.record.tag = wire::kTagRemovedSurface;
  const auto document = document_.lock();
  TideLinkDocumentImpl* openDocument = document && document->IsOpen() ? document.get() : nullptr;
  for (SegmentHold* segment : {&texture1Segment_, &texture2Segment_, &meshSegment_}) {
    Release(openDocument, *segment);
  }
  record.texture1.segment = record.texture1.size = 0;
  record.texture2.segment = record.texture2.size = 0;
  record.meshSegment = record.meshCapacity = 0;
  if (openDocument) openDocument->MarkRecord(record_, wire::kFlagChanged);
  return TideLinkObjectImpl::Detach();
}

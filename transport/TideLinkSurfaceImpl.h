#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "transport/ExportNode.h"
#include "transport/MeshBuffer.h"
#include "transport/TextureSlot.h"
#include "transport/TideLinkObjectImpl.h"
#include "transport/TideLinkSurface.h"

// A surface and its SRFC record. Setters only mark what changed; Flush, run by the document's
// commit, writes the changed parts (material, each texture, mesh) into the record and segments.
class TideLinkSurfaceImpl : public TideLinkSurface, public TideLinkObjectImpl {
public:
  TideLinkSurfaceImpl(std::weak_ptr<TideLinkDocumentImpl> document, wire::RecordHeader* record);

  bool IsValid() const override;
  bool IsDirty() const override;

  void SetName(const std::u16string& name, bool makeUnique) override;
  std::u16string GetName() const override;
  void SetSurfaceType(uint32_t code) override;
  uint32_t GetSurfaceType() const override;
  void SetColor(uint32_t color) override;
  bool SetTextureImage(uint64_t width, uint64_t height, const uint8_t* pixels,
                       bool hasAlpha) override;
  bool SetTextureFile(const std::u16string& path) override;
  void ClearTexture() override;
  bool SetSecondTextureImage(uint64_t width, uint64_t height, const uint8_t* pixels,
                             bool hasAlpha) override;
  bool SetSecondTextureFile(const std::u16string& path) override;
  void ClearSecondTexture() override;
  bool SetMesh(const TideLinkMesh& mesh) override;
  bool SetMeshArrays(const std::vector<float>& positions, const std::vector<float>& normals,
                     const std::vector<float>& uvs, const std::vector<uint32_t>& indices) override;
  void ClearMesh() override;
  bool HasMesh() const override;
  bool GetMesh(TideLinkMesh& mesh) const override;
  bool TakeMesh(TideLinkMesh& mesh) override;

  // Material parameters p1 to p8, sent to the renderer as they are.
  virtual void SetP2(float value);
  virtual void SetP6(float value);
  // Welds equal vertices once per mesh; false when there is no mesh.
  virtual bool OptimizeMesh();
  virtual void SetLibraryId(const std::u16string& libraryId);
  virtual void SetP1(float value);
  virtual void SetP3(float value);
  virtual void SetP4(float value);
  virtual void SetP5(float value);
  virtual void SetP7(float value);
  virtual void SetP8(float value);
  // The surface as the COLLADA writer prints it, with the mesh welded first when `optimize` (the
  // surface itself is left as it is). Null without a mesh or with 0 vertices. The node's id is
  // left empty: the export numbers its nodes in surface order. The node refers to this surface's
  // texture, so it must not outlive the surface.
  virtual std::unique_ptr<ExportNode> BuildExportNode(bool optimize) const;

  // Writes the changed parts into the record; false when detached or the document is gone.
  bool Flush() override;
  // Empties the surface and retags its record SRFI with its segments queued for release.
  bool Detach() override;

private:
  // A segment held for one part of the record. Kept here rather than read back from the shared
  // record, which the other process can write.
  struct SegmentHold {
    uint32_t number = 0;
    uint32_t size = 0;
  };

  void SetParameter(int index, float value);
  wire::SurfaceRecord& Record() const;
  void WriteMaterial(wire::SurfaceRecord& record) const;
  // Each gives false when the part needed a new segment and none could be created (shared
  // memory exhausted): the record then shows the part empty, and the part stays changed so that
  // the next commit tries again.
  bool WriteTexture(TideLinkDocumentImpl& document, const TextureSlot& slot,
                    wire::TextureFields& fields, SegmentHold& segment);
  bool WriteMesh(TideLinkDocumentImpl& document, wire::SurfaceRecord& record);
  void Release(TideLinkDocumentImpl* document, SegmentHold& segment);
  // Logs a part left out for want of shared memory, once until a commit writes the surface whole.
  void ReportMissingSegment(const char* part, uint32_t size);

  bool materialDirty_ = false;
  std::u16string name_;
  std::u16string libraryId_;
  uint32_t surfaceType_ = 0;
  uint32_t color_ = 0xAAAAAA;
  float parameters_[8] = {0.5f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f};
  TextureSlot texture_;
  TextureSlot secondTexture_;
  MeshBuffer mesh_;
  bool optimized_ = false;
  SegmentHold texture1Segment_;
  SegmentHold texture2Segment_;
  SegmentHold meshSegment_;
  bool missingSegmentReported_ = false;
};

#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geometry/TideLinkMesh.h"
#include "transport/TideLinkObject.h"

// One material's worth of the scene: name, type, colour, two textures and one triangle mesh.
// A surface is changed by one thread at a time and never while its document commits.
class TideLinkSurface : public TideLinkObject {
public:
  // With makeUnique the document makes the name unique among its surfaces (kept as it was when
  // the document is gone).
  virtual void SetName(const std::u16string& name, bool makeUnique) = 0;
  virtual std::u16string GetName() const = 0;
  virtual void SetSurfaceType(uint32_t code) = 0;
  virtual uint32_t GetSurfaceType() const = 0;
  // Packed 0xRRGGBB.
  virtual void SetColor(uint32_t color) = 0;
  // `pixels` holds width × height pixels of 3 bytes (4 with alpha), rows top to bottom. False when
  // pixels is null or the image is too large for the link; the texture is then unchanged.
  virtual bool SetTextureImage(uint64_t width, uint64_t height, const uint8_t* pixels,
                               bool hasAlpha) = 0;
  // Refers to an image file; a missing file empties the texture. Gives whether it changed.
  virtual bool SetTextureFile(const std::u16string& path) = 0;
  virtual void ClearTexture() = 0;
  virtual bool SetSecondTextureImage(uint64_t width, uint64_t height, const uint8_t* pixels,
                                     bool hasAlpha) = 0;
  virtual bool SetSecondTextureFile(const std::u16string& path) = 0;
  virtual void ClearSecondTexture() = 0;
  // False, keeping the previous mesh, when the arrays do not match the counts or the mesh is too
  // large for the link.
  virtual bool SetMesh(const TideLinkMesh& mesh) = 0;
  // As SetMesh with one UV set: positions / 3 vertices, normals 3 and uvs 2 floats per vertex.
  virtual bool SetMeshArrays(const std::vector<float>& positions, const std::vector<float>& normals,
                             const std::vector<float>& uvs,
                             const std::vector<uint32_t>& indices) = 0;
  virtual void ClearMesh() = 0;
  virtual bool HasMesh() const = 0;
  // Copies the mesh out; false when there is none.
  virtual bool GetMesh(TideLinkMesh& mesh) const = 0;
  // As SetMesh, but takes the mesh's arrays instead of copying them and leaves the surface's
  // previous mesh in `mesh` (empty when it had none), whose storage the caller may reuse for the
  // next one. A refused mesh stays with the caller unchanged.
  virtual bool TakeMesh(TideLinkMesh& mesh) = 0;
};

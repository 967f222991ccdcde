#pragma once

#include <cstdint>
#include <memory>

#include "scene/SceneIdTable.h"
#include "scene/TextureImage.h"
#include "sdk/VGSOperation.h"
#include "transport/TideLinkDocument.h"

// The default material's id: the same value as "no id yet".
inline constexpr SceneId kDefaultMaterialId = kNoSceneId;
inline constexpr uint32_t kInitialMaterialColour = 0xFFAAAAAA;

// One host material and the link surface that carries it.
struct MaterialEntry {
  SceneId id;
  // Null when the document could not give a surface (closed, or not attached yet).
  std::shared_ptr<TideLinkSurface> surface;
  uint32_t colour = kInitialMaterialColour;
  TextureImage texture;
};

// The host's materials as link surfaces: name, surface type, colour and texture. Operations only
// record what changed and mark the material pending; flush sends the pending ones to their
// surfaces. Not thread-safe; lookup may run on several threads while nothing else does.
class SceneMaterialSet {
public:
  // Binds the set to a document (dropping whatever an earlier attach left) and creates the
  // default material's surface, "Default material".
  void attach(std::shared_ptr<TideLinkDocument> document);
  // Drops the document and every entry, the default included.
  void detach();

  // The entry under `id`; when there is none, the default material with `fallback`, else null.
  const MaterialEntry* lookup(const SceneId& id, bool fallback) const;

  // A new material gets a surface named after it (made unique) whose type follows the name; a
  // known one is only marked pending (a changed name is not applied).
  void addMaterial(const VGS::AddMaterialData& material);
  // Marks the id pending, known or not.
  void touchMaterial(const SceneId& id);
  // New colour and texture for a known material; unknown ids are ignored.
  void setMaterialProperties(const VGS::SetMaterialPropertiesData& properties);

  bool hasPending() const { return !pendingMaterials_.empty(); }
  // Sends colour and texture of every pending material to its surface (a material without a
  // texture clears the surface's); false when nothing was pending.
  bool flush();

private:
  std::shared_ptr<TideLinkDocument> document_;
  SceneIdTable<MaterialEntry> materials_;
  SceneIdSet pendingMaterials_;
};

#include "scene/SceneMaterialSet.h"

#include "scene/SurfaceTypeFromName.h"

namespace {

constexpr char16_t kDefaultMaterialName[] = u"Default material";

}  // namespace

void SceneMaterialSet::attach(std::shared_ptr<TideLinkDocument> document) {
  detach();
  document_ = std::move(document);
  MaterialEntry& entry = materials_[kDefaultMaterialId];
  entry.id = kDefaultMaterialId;
  if (document_) entry.surface = document_->CreateSurface(kDefaultMaterialName, true);
  pendingMaterials_.insert(kDefaultMaterialId);
}

void SceneMaterialSet::detach() {
  document_.reset();
  materials_.clear();
  pendingMaterials_.clear();
}

const MaterialEntry* SceneMaterialSet::lookup(const SceneId& id, bool fallback) const {
  if (const MaterialEntry* entry = materials_.find(id)) return entry;
  return fallback ? materials_.find(kDefaultMaterialId) : nullptr;
}

void SceneMaterialSet::addMaterial(const VGS::AddMaterialData& material) {
  pendingMaterials_.insert(material.material);
  auto [entry, created] = materials_.tryEmplace(material.material);
  if (!created) return;
  entry.id = material.material;
  if (!document_) return;
  const std::u16string& name = material.name.GetStdUString();
  entry.surface = document_->CreateSurface(name, true);
  const uint32_t surfaceType = surfaceTypeFromName(name);
  if (entry.surface && surfaceType != kSurfaceTypeNone) entry.surface->SetSurfaceType(surfaceType);
}

void SceneMaterialSet::touchMaterial(const SceneId& id) { pendingMaterials_.insert(id); }

void SceneMaterialSet::setMaterialProperties(const VGS::SetMaterialPropertiesData& properties) {
  MaterialEntry* entry = materials_.find(properties.material);
  if (!entry) return;
  entry->colour =
      packColour(properties.red, properties.green, properties.blue, properties.alpha);
  entry->texture =
      buildTextureImage(properties.colourImage, properties.opacityImage, entry->colour);
  pendingMaterials_.insert(properties.material);
}

bool SceneMaterialSet::flush() {
  if (pendingMaterials_.empty()) return false;
  for (const auto& pending : pendingMaterials_) {
    const MaterialEntry* entry = materials_.find(pending.id);
    if (!entry || !entry->surface) continue;
    TideLinkSurface& surface = *entry->surface;
    surface.SetColor(entry->colour);
    const TextureImage& texture = entry->texture;
    // A refused or missing image must not leave an earlier texture showing.
    if (texture.pixels.empty() ||
        !surface.SetTextureImage(texture.width, texture.height,
                                 reinterpret_cast<const uint8_t*>(texture.pixels.data()), true)) {
      surface.ClearTexture();
    }
  }
  pendingMaterials_.clear();
  return true;
}

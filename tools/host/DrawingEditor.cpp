#include "tools/host/DrawingEditor.h"

#include <algorithm>

#include "platform/TextConversion.h"
#include "tools/host/ImageDecoder.h"

namespace {

template <class Item>
Item* FindNamed(std::vector<Item>& items, const std::string& name) {
  const auto found = std::find_if(items.begin(), items.end(), [&](const Item& item) { return item.name == name; });
  return found == items.end() ? nullptr : &*found;
}

DrawingMaterial* FindMaterial(Drawing& drawing, const std::string& name) {
  const std::u16string wide = platform::Utf16FromUtf8(name);
  const auto found = std::find_if(drawing.materials.begin(), drawing.materials.end(),
                                  [&](const DrawingMaterial& material) { return material.name == wide; });
  return found == drawing.materials.end() ? nullptr : &*found;
}

// `transform` followed by `local` applied about the instance's own origin (its translation).
DrawingTransform AboutOrigin(const DrawingTransform& transform, const DrawingTransform& local) {
  const double x = transform[12], y = transform[13], z = transform[14];
  DrawingTransform result = MultiplyTransforms(transform, TranslationTransform(-x, -y, -z));
  result = MultiplyTransforms(result, local);
  return MultiplyTransforms(result, TranslationTransform(x, y, z));
}

// The ids of `names` as materials; false, naming the first unknown one, when one is not a material.
bool MaterialIds(Drawing& drawing, const std::vector<std::string>& names, size_t first, std::vector<SceneId>& ids,
                 std::string& problem) {
  for (size_t index = first; index < names.size(); ++index) {
    const DrawingMaterial* material = FindMaterial(drawing, names[index]);
    if (!material) {
      problem = "no material \"" + names[index] + "\"";
      return false;
    }
    ids.push_back(material->id);
  }
  return true;
}

class StepApplier {
public:
  StepApplier(Drawing& drawing, uint64_t& instancesMade, const EditStep& step, DrawingChange& change,
              std::string& problem)
      : drawing_(drawing), instancesMade_(instancesMade), step_(step), change_(change), problem_(problem) {}

  bool Apply() {
    switch (step_.kind) {
      case EditKind::kMove: return Transform(TranslationTransform(Number(0), Number(1), Number(2)), false);
      case EditKind::kRotate: return Transform(RotationAboutZ(Number(0)), true);
      case EditKind::kMirror: return Transform(ScaleTransform(-1, 1, 1), true);
      case EditKind::kMaterials: return Rematerial();
      case EditKind::kRemove: return Remove();
      case EditKind::kAdd: return Add();
      case EditKind::kReplace: return Replace();
      case EditKind::kColour: return ChangeMaterial([&](DrawingMaterial& m) {
          m.red = Number(0), m.green = Number(1), m.blue = Number(2);
          return true;
        });
      case EditKind::kOpacity: return ChangeMaterial([&](DrawingMaterial& m) {
          m.alpha = Number(0);
          return true;
        });
      case EditKind::kTexture: return ChangeMaterial([&](DrawingMaterial& m) { return Retexture(m); });
      case EditKind::kTouch: return Touch();
      case EditKind::kView: return View();
      default: return false;
    }
  }

private:
  double Number(size_t index) const { return step_.numbers[index]; }

  DrawingInstance* Instance() {
    DrawingInstance* instance = FindNamed(drawing_.instances, step_.names[0]);
    if (!instance) problem_ = "no instance \"" + step_.names[0] + "\"";
    return instance;
  }

  bool Transform(const DrawingTransform& change, bool aboutOrigin) {
    DrawingInstance* instance = Instance();
    if (!instance) return false;
    instance->transform =
        aboutOrigin ? AboutOrigin(instance->transform, change) : MultiplyTransforms(instance->transform, change);
    change_.movedInstances.push_back(instance->id);
    return true;
  }

  bool Rematerial() {
    DrawingInstance* instance = Instance();
    std::vector<SceneId> materials;
    if (!instance || !MaterialIds(drawing_, step_.names, 1, materials, problem_)) return false;
    instance->surfaceMaterials = std::move(materials);
    change_.rematerialledInstances.push_back(instance->id);
    return true;
  }

  bool Remove() {
    DrawingInstance* instance = Instance();
    if (!instance) return false;
    change_.removedInstances.push_back(instance->id);
    drawing_.instances.erase(drawing_.instances.begin() + (instance - drawing_.instances.data()));
    return true;
  }

  bool Add() {
    if (FindNamed(drawing_.instances, step_.names[0])) {
      problem_ = "an instance \"" + step_.names[0] + "\" exists already";
      return false;
    }
    const DrawingGeometry* geometry = FindNamed(drawing_.geometries, step_.names[1]);
    if (!geometry) {
      problem_ = "no geometry \"" + step_.names[1] + "\"";
      return false;
    }
    DrawingInstance instance;
    if (!MaterialIds(drawing_, step_.names, 2, instance.surfaceMaterials, problem_)) return false;
    // Never a removed instance's id: the plug-in may still hold that one.
    instance.id = MakeDrawingId(DrawingIdKind::kInstance, instancesMade_++);
    instance.name = step_.names[0];
    instance.geometry = geometry->id;
    instance.transform = TranslationTransform(Number(0), Number(1), Number(2));
    change_.placedInstances.push_back(instance.id);
    drawing_.instances.push_back(std::move(instance));
    return true;
  }

  bool Replace() {
    DrawingGeometry* target = FindNamed(drawing_.geometries, step_.names[0]);
    const DrawingGeometry* source = FindNamed(drawing_.geometries, step_.names[1]);
    if (!target || !source) {
      problem_ = "no geometry \"" + step_.names[target ? 1 : 0] + "\"";
      return false;
    }
    target->meshes = source->meshes;
    target->isSolid = source->isSolid;
    change_.setGeometries.push_back(target->id);
    // A new geometry alone rebuilds no surface: the instances on it report their transforms again,
    // as a host does after replacing a geometry, so that their surfaces are built from the new one.
    for (const DrawingInstance& instance : drawing_.instances) {
      if (instance.geometry == target->id) change_.movedInstances.push_back(instance.id);
    }
    return true;
  }

  template <class Edit>
  bool ChangeMaterial(Edit&& edit) {
    DrawingMaterial* material = FindMaterial(drawing_, step_.names[0]);
    if (!material) {
      problem_ = "no material \"" + step_.names[0] + "\"";
      return false;
    }
    if (!edit(*material)) return false;
    change_.changedMaterials.push_back(material->id);
    return true;
  }

  bool Retexture(DrawingMaterial& material) {
    if (step_.names[1] == "none") {
      material.colourImage = {};
      return true;
    }
    std::string error;
    std::optional<DrawingImage> image = DecodeImageFile(step_.names[1], error);
    if (!image) {
      problem_ = "cannot use " + step_.names[1] + ": " + error;
      return false;
    }
    material.colourImage = std::move(*image);
    return true;
  }

  bool Touch() {
    const DrawingMaterial* material = FindMaterial(drawing_, step_.names[0]);
    if (!material) {
      problem_ = "no material \"" + step_.names[0] + "\"";
      return false;
    }
    change_.touchedMaterials.push_back(material->id);
    return true;
  }

  bool View() {
    VGS::CameraReport& view = drawing_.view;
    std::copy_n(step_.numbers.begin(), 3, view.eye);
    std::copy_n(step_.numbers.begin() + 3, 3, view.direction);
    std::copy_n(step_.numbers.begin() + 6, 3, view.up);
    view.unused = 0;
    view.extent = Number(9);
    view.focalDistance = Number(10);
    change_.viewReported = true;
    return true;
  }

  Drawing& drawing_;
  uint64_t& instancesMade_;
  const EditStep& step_;
  DrawingChange& change_;
  std::string& problem_;
};

}  // namespace

DrawingEditor::DrawingEditor(std::shared_ptr<const Drawing> drawing) : drawing_(std::move(drawing)) {
  for (const DrawingInstance& instance : drawing_->instances) instancesMade_ = std::max(instancesMade_, instance.id.low);
}

bool DrawingEditor::ChangesDrawing(EditKind kind) {
  switch (kind) {
    case EditKind::kMove: case EditKind::kRotate: case EditKind::kMirror: case EditKind::kMaterials:
    case EditKind::kRemove: case EditKind::kAdd: case EditKind::kReplace: case EditKind::kColour:
    case EditKind::kOpacity: case EditKind::kTexture: case EditKind::kTouch: case EditKind::kView:
      return true;
    default:
      return false;
  }
}

bool DrawingEditor::Apply(const EditStep& step, DrawingChange& change, std::string& problem) {
  auto edited = std::make_shared<Drawing>(*drawing_);
  if (!StepApplier(*edited, instancesMade_, step, change, problem).Apply()) return false;
  drawing_ = std::move(edited);
  return true;
}

#include "link/HostView.h"

#include "sdk/HostBinding.h"

namespace {

constexpr int32_t kViewOnVariable = 94;
constexpr int32_t kRendererPreviewVariable = 6802;
constexpr int32_t kViewUpdateVariable = 9871;
constexpr int32_t kFlyoverVariable = 127;
constexpr int32_t kActivePaneVariable = 6041;
constexpr int16_t kPausingProjection = 6;

std::optional<int16_t> ActiveProjection() {
  auto layers = HostBinding::Query<ILayerService>(IID_LayerService);
  if (!layers) return std::nullopt;
  return layers->GetProjection(layers->GetActiveLayer());
}

// Host boolean variable `variable`; nothing when it cannot be read.
std::optional<bool> ReadHostBool(int32_t variable) {
  auto variables = HostBinding::Query<IProgramVariables>(IID_ProgramVariables);
  bool value = false;
  if (!variables || !variables->GetBool(variable, value)) return std::nullopt;
  return value;
}

void WriteHostBool(int32_t variable, bool value) {
  if (auto variables = HostBinding::Query<IProgramVariables>(IID_ProgramVariables)) variables->SetBool(variable, value);
}

}  // namespace

bool ActiveLayerIsSheet() {
  auto layers = HostBinding::Query<ILayerService>(IID_LayerService);
  return layers && layers->GetLayerType(layers->GetActiveLayer()) == kSheetLayerType;
}

bool ActiveLayerIsPerspective() { return ActiveProjection() == kProjectionPerspective; }

bool IsHostViewOn() { return ReadHostBool(kViewOnVariable) == true; }

std::optional<int64_t> CurrentViewId() {
  auto sceneChanges = HostBinding::Query<ISceneChangeService>(IID_SceneChangeService);
  if (!sceneChanges) return std::nullopt;
  int64_t viewId = 0;
  int32_t pane = 0;
  sceneChanges->GetActiveView(viewId, pane);
  return viewId;
}

bool IsPauseConditionTrue() {
  if (!IsHostViewOn()) return true;
  if (ReadHostBool(kRendererPreviewVariable) == true) return false;
  if (ActiveLayerIsSheet()) return true;
  return ActiveProjection() == kPausingProjection;
}

void PrepareView() {
  if (auto layers = HostBinding::Query<ILayerService>(IID_LayerService)) {
    const LayerHandle layer = layers->GetActiveLayer();
    if (layers->GetProjection(layer) != kProjectionPerspective) layers->SetProjection(layer, kProjectionPerspective);
  }
  WriteHostBool(kViewUpdateVariable, true);
  WriteHostBool(kFlyoverVariable, false);
  if (!IsHostViewOn()) WriteHostBool(kViewOnVariable, true);
  WriteHostBool(kViewUpdateVariable, false);
}

void ActivatePane(int32_t pane) {
  if (auto variables = HostBinding::Query<IProgramVariables>(IID_ProgramVariables)) {
    variables->SetLong(kActivePaneVariable, pane);
  }
}

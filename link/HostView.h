#pragma once

#include <cstdint>
#include <optional>

// What the link asks of the host's active view, and the one way it changes it. Every question is
// put to the host afresh; a missing service answers as documented at each function.

// The active layer is a sheet layer; false without the layer service.
bool ActiveLayerIsSheet();
// The active layer's projection is the perspective one; false without the layer service.
bool ActiveLayerIsPerspective();
// The host shows its view (variable 94 can be read and is on).
bool IsHostViewOn();
// The scene-change service's current view identifier; nothing without the service.
std::optional<int64_t> CurrentViewId();

// The host shows nothing the link could mirror: the view is off (variable 94), or, unless the
// renderer-preview variable 6802 is on, a sheet layer or the projection 6 is active.
bool IsPauseConditionTrue();
// Perspective projection, then the variable writes in the order the host expects
// (9871 on, 127 off, 94 on when it is not, 9871 off).
void PrepareView();
// Brings back the view pane `pane` (variable 6041).
void ActivatePane(int32_t pane);

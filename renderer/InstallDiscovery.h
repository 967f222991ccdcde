#pragma once

#include "renderer/RendererVersion.h"

// The highest version among the installed renderers of the machine-wide uninstall list (trials
// and viewers left out), or none. An unreadable list or entry counts as absent.
RendererVersion FindInstalledVersion();

// The version shown in the title bar of a running renderer's window ("Ombrel 12.0 Beta 2" gives
// 12.0), or none when no renderer window has such a title. With `selectHighest` the highest of
// all windows, otherwise that of the first window found.
RendererVersion FindRunningVersion(bool selectHighest);

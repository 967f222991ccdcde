#pragma once

#include "tools/renderer/RendererOptions.h"

// A renderer the plug-in started (the link reference, no --dump and no --snapshot) still keeps its
// summary and picture where the user can be told to look: TideLink.json and TideLink.png in the
// folder OMBREL_OUTPUT_DIR names, else in the program's own (install) folder.
void ChooseLaunchOutputs(RendererOptions& options);

#pragma once

#include "tools/renderer/RendererOptions.h"

// A renderer the plug-in started (the link reference, no --dump and no --snapshot) still keeps its
// summary, picture and history of updates where the user can be told to look: TideLink.json,
// TideLink.png and TideLink.history.jsonl in the folder OMBREL_OUTPUT_DIR names, else in the
// program's own (install) folder. Its printed output goes nowhere; the history shows each update.
void ChooseLaunchOutputs(RendererOptions& options);

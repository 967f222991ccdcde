#pragma once

#include <string>

#include "tools/renderer/RendererOptions.h"

// A renderer the plug-in started (the link reference, no --dump and no --snapshot) still keeps its
// summary, picture and history of updates where the user can be told to look: TideLink.json,
// TideLink.png and TideLink.history.jsonl in the folder OMBREL_OUTPUT_DIR names, else in the
// program's own (install) folder. Its printed output goes nowhere; the history shows each update.
void ChooseLaunchOutputs(RendererOptions& options);

// Whether the plug-in started this renderer for a link: its command line holds the link reference.
bool LaunchedForLink(int argc, char** argv);

// TideLink.log beside the outputs of a launched renderer: what it says on its error output, which
// nobody else sees, since the plug-in gives it none. Opened at start, and removed at the end when
// nothing was said; false when the folder cannot be written (the error output is then kept).
bool KeepErrorsInLaunchLog();
void RemoveLaunchLogIfEmpty();

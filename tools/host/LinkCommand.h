#pragma once

#include "tools/host/HostOptions.h"
#include "tools/host/StandInHost.h"

// Plays a user who links the active drawing to the renderer: activates the plug-in's tool,
// presses its start button (or runs TideLink_Start), lets the drawing stream while the main
// thread ticks, plays the edit script, keeps the link running for the time asked and ends it as
// asked. Judged from the host's own services, never from printed text. Returns the exit code:
// 0 when the link started, mirrored the drawing and ended as asked; 1 otherwise, with the reason
// printed; 2 when the edit script cannot be read.
int RunLinkCommand(StandInHost& host, const HostOptions& options);

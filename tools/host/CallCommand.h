#pragma once

#include "tools/host/HostOptions.h"
#include "tools/host/StandInHost.h"

// Runs the script function the options name, as a script would; 0 when the plug-in has it.
int RunCallCommand(StandInHost& host, const HostOptions& options);

#pragma once

#include "tools/host/HostOptions.h"
#include "tools/host/StandInHost.h"

// `tidelink-host export`: chooses the plug-in's "save as COLLADA" command (or its script
// function) as many times as asked, lets the host run until each export has ended, and reports
// how it ended. The module must be loaded. 0 when every export ended with the plug-in's
// export-complete message; 1 otherwise, with the message that ended it.
int RunExportCommand(StandInHost& host, const HostOptions& options);

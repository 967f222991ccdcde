#include "tools/host/CallCommand.h"

#include "platform/TextConversion.h"
#include "sdk/ExtensionKinds.h"
#include "tools/host/HostConsole.h"

int RunCallCommand(StandInHost& host, const HostOptions& options) {
  host.RegisterExtensions();
  IVWUnknown* functions = host.CreateExtension(IID_ExtensionKindScriptFunctions);
  if (!functions) return 1;
  const bool ran = host.RunScriptFunction(functions, platform::Utf16FromUtf8(options.functionName));
  if (!ran) HostConsole::PrintLine("the plug-in has no script function " + options.functionName);
  const bool released = host.ReleaseExtension(IID_ExtensionKindScriptFunctions, functions);
  return ran && released ? 0 : 1;
}

#include "platform/ProgramArguments.h"

#include <windows.h>

#include "platform/ProcessLaunch.h"
#include "platform/TextConversion.h"
#include "platform/win32/Wide.h"

namespace platform {

// Split by the C runtime's own rules, so that the texts are main's arguments, only whole.
std::vector<std::string> ReadProgramArguments(int /*argc*/, char** /*argv*/) {
  std::vector<std::string> arguments;
  for (const std::u16string& argument : SplitCommandLine(win32::Utf16Text(GetCommandLineW()))) {
    arguments.push_back(Utf8FromUtf16(argument));
  }
  return arguments;
}

}  // namespace platform

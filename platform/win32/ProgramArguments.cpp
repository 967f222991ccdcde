#include "platform/ProgramArguments.h"

#include <windows.h>

#include <shellapi.h>

#include "platform/TextConversion.h"
#include "platform/win32/Wide.h"

namespace platform {

std::vector<std::string> ReadProgramArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return {argv, argv + argc};
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<size_t>(count));
  for (int index = 0; index < count; ++index) arguments.push_back(Utf8FromUtf16(win32::Utf16Text(wide[index])));
  LocalFree(wide);
  return arguments;
}

}  // namespace platform

#include "platform/ChildProcess.h"

// The two ways to start a child differ only in where its output goes; each backend's Begin starts it.
namespace platform {

bool ChildProcess::Start(std::u16string_view executable, const std::vector<std::u16string>& arguments,
                         bool captureOutput, ChildProcess& child) {
  return Begin(executable, arguments, captureOutput, {}, child);
}

bool ChildProcess::StartWithOutputFile(std::u16string_view executable, const std::vector<std::u16string>& arguments,
                                       std::u16string_view outputFile, ChildProcess& child) {
  return !outputFile.empty() && Begin(executable, arguments, false, outputFile, child);
}

}  // namespace platform

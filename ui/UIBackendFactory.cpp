#include "ui/UIBackendFactory.h"

#include <iostream>

#include "diag/DebugLog.h"
#include "platform/Environment.h"
#include "ui/HeadlessBackend.h"
#ifdef _WIN32
#include "ui/NativeBackend.h"
#endif
#include "ui/TerminalBackend.h"

namespace ui {
namespace {

std::unique_ptr<UIBackend> CreateHeadlessBackend() {
  const std::optional<std::string> text = platform::ReadEnvironmentVariable("TIDELINK_UI_SCRIPT");
  HeadlessScript script = HeadlessScript::Parse(text.value_or(""));
  for (const std::string& error : script.errors) DebugLog("TIDELINK_UI_SCRIPT %s", error.c_str());
  return std::make_unique<HeadlessBackend>(std::move(script), HeadlessOptions{}, &std::cout);
}

}  // namespace

std::unique_ptr<UIBackend> CreateUIBackend() {
#ifdef _WIN32
  // A real host sets nothing and gets the system's windows.
  const std::string kind = platform::ReadEnvironmentVariable("TIDELINK_UI").value_or("windows");
  if (kind == "windows") return std::make_unique<NativeBackend>();
#else
  const std::string kind = platform::ReadEnvironmentVariable("TIDELINK_UI").value_or("headless");
#endif
  if (kind == "terminal") return std::make_unique<TerminalBackend>(std::cin, std::cout, std::cerr);
  if (kind != "headless") DebugLog("TIDELINK_UI=%s is not a user interface; using headless", kind.c_str());
  return CreateHeadlessBackend();
}

}  // namespace ui

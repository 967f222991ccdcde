#include "tools/host/ExportCommand.h"

#include <optional>
#include <string>

#include "platform/TextConversion.h"
#include "sdk/ExtensionKinds.h"
#include "tools/host/HostConsole.h"
#include "tools/host/MainLoop.h"
#include "tools/host/PluginOutputWatcher.h"

namespace {

constexpr std::u16string_view kScriptFunction = u"TideLink_SaveAsCollada";

using Clock = PluginOutputWatcher::Clock;

long long Milliseconds(Clock::duration duration) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
}

class ExportRun {
public:
  ExportRun(StandInHost& host, const HostOptions& options, PluginOutputWatcher& watcher)
      : host_(host), options_(options), watcher_(watcher) {}

  // One export from the command to its end; true when it ended complete.
  bool Run(IVWUnknown* extension, int number) {
    number_ = number;
    watcher_.Clear();
    const Clock::time_point start = Clock::now();
    if (options_.viaScript) {
      host_.RunScriptFunction(extension, kScriptFunction);
    } else {
      host_.RunMenuCommand(extension);
    }
    if (!WaitForTheEnd()) return false;
    if (options_.printTimings) PrintTimings(start);
    return Outcome();
  }

private:
  bool Exporting() { return host_.IsNotificationRegistered(kAfterEventCode); }

  bool WaitForTheEnd() {
    const std::chrono::seconds timeout(options_.timeoutSeconds);
    if (options_.quitAfterStream && Exporting()) {
      host_.RunUntil([&] { return !Exporting() || host_.sceneStream().DrawingSentAt().has_value(); }, timeout);
      if (Exporting()) host_.PostNotification(kQuitCode, 0);
    }
    if (host_.RunUntil([&] { return !Exporting(); }, timeout)) return true;
    Print("did not end within " + std::to_string(options_.timeoutSeconds) + " s; quitting it");
    host_.PostNotification(kQuitCode, 0);
    return false;
  }

  // The message that ended the export: the last one shown after the save dialog, or, when the
  // command ended before asking for a file, the last one shown. Warnings on the way to the
  // dialog do not end anything.
  std::optional<std::string> EndingMessage() const {
    const std::vector<PluginOutputWatcher::Event> messages = watcher_.messageBoxes();
    const std::vector<PluginOutputWatcher::Event> dialogs = watcher_.saveDialogs();
    if (messages.empty()) return std::nullopt;
    if (!dialogs.empty() && messages.back().time < dialogs.back().time) return std::nullopt;
    return messages.back().text;
  }

  bool Outcome() {
    const std::optional<std::string> ending = EndingMessage();
    if (!ending) {
      Print("ended without a message");
      return false;
    }
    const std::string completeTitle =
        platform::Utf8FromUtf16(host_.ResourceText(u"TideLinkTool", u"dlg_title_export_complete"));
    const std::string& caption = *ending;
    if (!completeTitle.empty() && caption.ends_with(completeTitle)) {
      Print("complete: " + options_.exportPath);
      return true;
    }
    Print("ended with \"" + caption + "\"");
    return false;
  }

  // Streaming until the drawing was sent, the flush until the textures label, node building
  // until the writing label, writing until the message that ended the export. Every moment is on
  // the steady clock: file times may lag it or jump.
  void PrintTimings(Clock::time_point start) {
    const auto progress = watcher_.progressTexts();
    const auto sent = host_.sceneStream().DrawingSentAt();
    const auto messages = watcher_.messageBoxes();
    const std::optional<Clock::time_point> written =
        messages.empty() ? std::nullopt : std::optional<Clock::time_point>(messages.back().time);
    if (progress.size() < 2 || !sent || !written) {
      Print("timings: the export did not run to the end");
      return;
    }
    // The last two texts of the export are the textures label and the writing label.
    const Clock::time_point texturesShown = progress[progress.size() - 2].time;
    const Clock::time_point writingShown = progress.back().time;
    Print("timings: streaming " + std::to_string(Milliseconds(*sent - start)) + " ms, flush " +
          std::to_string(Milliseconds(texturesShown - *sent)) + " ms, node building " +
          std::to_string(Milliseconds(writingShown - texturesShown)) + " ms, writing " +
          std::to_string(Milliseconds(*written - writingShown)) + " ms (total " +
          std::to_string(Milliseconds(*written - start)) + " ms)");
  }

  void Print(const std::string& text) { HostConsole::PrintLine("export " + std::to_string(number_) + ": " + text); }

  StandInHost& host_;
  const HostOptions& options_;
  PluginOutputWatcher& watcher_;
  int number_ = 0;
};

}  // namespace

int RunExportCommand(StandInHost& host, const HostOptions& options) {
  PluginOutputWatcher watcher;
  const VWIID& kind = options.viaScript ? IID_ExtensionKindScriptFunctions : IID_ExtensionKindMenu;
  host.RegisterExtensions();
  IVWUnknown* extension = host.CreateExtension(kind);
  if (!extension) return 1;
  ExportRun run(host, options, watcher);
  bool allComplete = true;
  for (int number = 1; number <= options.exportCount; ++number) {
    allComplete = run.Run(extension, number) && allComplete;
  }
  const bool released = host.ReleaseExtension(kind, extension);
  return allComplete && released ? 0 : 1;
}

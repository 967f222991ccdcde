#include "tools/host/ExportCommand.h"

#include <filesystem>
#include <optional>
#include <string>

#include "platform/TextConversion.h"
#include "platform/Utf8Path.h"
#include "sdk/MessageRecords.h"
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
    recordsBefore_ = ReadMessageRecords(options_.messageRecordsPath).size();
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
    if (host_.mainLoop().AnswerQuitRequest()) {
      Print("ended by the application quitting");
      return false;
    }
    Print("did not end within " + std::to_string(options_.timeoutSeconds) + " s; quitting it");
    host_.PostNotification(kQuitCode, 0);
    return false;
  }

  // The message that ended the export: the last one the plug-in recorded during this export,
  // leaving out the materials warning it shows on the way to the save dialog.
  std::optional<MessageRecord> EndingMessage() const {
    const std::string warning =
        platform::Utf8FromUtf16(host_.ResourceText(u"TideLinkTool", u"dlg_title_material_warning"));
    const std::vector<MessageRecord> records = ReadMessageRecords(options_.messageRecordsPath);
    for (size_t index = records.size(); index > recordsBefore_; --index) {
      const MessageRecord& record = records[index - 1];
      if (warning.empty() || !record.caption.ends_with(warning)) return record;
    }
    return std::nullopt;
  }

  bool Outcome() {
    const std::optional<MessageRecord> ending = EndingMessage();
    const std::string completeTitle =
        platform::Utf8FromUtf16(host_.ResourceText(u"TideLinkTool", u"dlg_title_export_complete"));
    if (ending && !completeTitle.empty() && ending->caption.ends_with(completeTitle)) {
      Print("complete: " + WrittenFile(*ending).value_or(options_.exportPath));
      return true;
    }
    const std::string reason = WhyNoFile(options_.exportPath);
    if (!ending) {
      Print("ended without a message" + reason);
    } else {
      Print("ended with \"" + ending->caption + "\"" + reason);
    }
    return false;
  }

  // The file the completion message names (the plug-in may have added an extension to the
  // answer); nothing when the message is not the completion text around one name.
  std::optional<std::string> WrittenFile(const MessageRecord& complete) const {
    const std::string format = platform::Utf8FromUtf16(host_.ResourceText(u"TideLinkTool", u"dlg_msg_export_complete"));
    const size_t placeholder = format.find("%s");
    if (placeholder == std::string::npos) return std::nullopt;
    const std::string before = format.substr(0, placeholder), after = format.substr(placeholder + 2);
    const std::string& text = complete.text;
    if (text.size() < before.size() + after.size() || !text.starts_with(before) || !text.ends_with(after)) {
      return std::nullopt;
    }
    return text.substr(before.size(), text.size() - before.size() - after.size());
  }

  // What the host can tell of a file that was not written: "; <why>", or nothing when it sees
  // no reason.
  static std::string WhyNoFile(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path file = platform::PathFromUtf8(path);
    if (fs::is_directory(file, error)) return "; " + path + " is a folder";
    if (fs::is_regular_file(file, error)) return "";
    const fs::path folder = file.parent_path();
    if (!fs::is_directory(folder, error)) return "; the folder " + platform::Utf8FromPath(folder) + " does not exist";
    const fs::perms permissions = fs::status(folder, error).permissions();
    if ((permissions & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write)) == fs::perms::none) {
      return "; the folder " + platform::Utf8FromPath(folder) + " is not writable";
    }
    return "";
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
  size_t recordsBefore_ = 0;
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
  for (int number = 1; number <= options.exportCount && !host.mainLoop().AnswerQuitRequest(); ++number) {
    allComplete = run.Run(extension, number) && allComplete;
  }
  const bool released = host.ReleaseExtension(kind, extension);
  return allComplete && released ? 0 : 1;
}

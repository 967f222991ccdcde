#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/MessageWindow.h"
#include "tools/renderer/LinkReader.h"
#include "tools/renderer/RendererOptions.h"

// One run of the stand-in renderer: its message window, the live link documents it has found,
// and what it does on each update.
class RendererSession {
public:
  explicit RendererSession(RendererOptions options) : options_(std::move(options)) {}

  // Opens the window and serves update messages until the run time is over or `stop` is set.
  // Returns the process exit code.
  int Run(const std::atomic<bool>& stop);

private:
  struct Link {
    LinkReader reader;
    uint32_t lastVersion = 0;
    std::string lastSummary;  // the last one published; a drawing read again unchanged is not
    // Where this link's summary and picture go: the names asked for, for the first link of those
    // open at once, with "-2", "-3", ... before the extension for the others.
    std::string dumpPath;
    std::string snapshotPath;
    int slot = 1;
  };

  // Lets go of the links that were withdrawn (when the registry could be read), whose header no
  // longer checks out or whose plug-in has ended.
  void DropClosedLinks(const std::optional<std::vector<std::u16string>>& announced);
  // Opens every announced document that is not linked yet.
  void OpenNewLinks(const std::vector<std::u16string>& announced);
  void RefreshLinks(bool notified);
  // Gives a new link the lowest slot that no open link holds, and its file names.
  void ChooseOutputs(Link& link) const;
  void ReadLink(Link& link);
  // Keeps the summary, the history and the picture of `scene`, read from `link`; the history only
  // gains a line when the drawing differs from the one last read.
  void Publish(Link& link, const MirroredScene& scene);
  void LogRead(const MirroredScene& scene, const LinkReader::ReadTimes& times);

  RendererOptions options_;
  platform::MessageWindow window_;
  std::map<std::u16string, std::unique_ptr<Link>> links_;
  uint32_t updates_ = 0;
  std::optional<std::chrono::steady_clock::time_point> messageAt_;  // of the update message being served
};

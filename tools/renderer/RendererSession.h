#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

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
  };

  // Opens every newly announced document; gives all names announced now, nothing when the
  // registry could not be read.
  std::optional<std::set<std::u16string>> DiscoverDocuments();
  void RefreshLinks(bool notified);
  void ReadLink(Link& link);
  void Publish(const MirroredScene& scene);
  void LogRead(const MirroredScene& scene, const LinkReader::ReadTimes& times);

  RendererOptions options_;
  platform::MessageWindow window_;
  std::map<std::u16string, std::unique_ptr<Link>> links_;
  uint32_t updates_ = 0;
  std::optional<std::chrono::steady_clock::time_point> messageAt_;  // of the update message being served
};

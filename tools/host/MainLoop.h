#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "tools/host/DrawingStream.h"
#include "tools/host/StandInServices.h"

// 'AFTE', the after-event notification: the host's idle tick, on which the plug-in does its work.
inline constexpr uint32_t kAfterEventCode = 0x41465445;

// The host's main thread while a command waits for the plug-in: at a steady rate it lets scene
// deliveries begin and posts the tick. While a delivery is sending its drawing the main thread is
// busy with that walk and does not tick; it ticks again once every delivery has sent its last
// record (or holds its endless batch open). So the plug-in never sees a tick between two batches
// of one drawing, and what follows the last record (kind 4 after the view report, say) always
// arrives before the next tick.
class MainLoop {
public:
  static constexpr std::chrono::milliseconds kTickInterval{50};

  MainLoop(NotificationService& notifications, DrawingStream* stream,
           std::chrono::milliseconds tickInterval = kTickInterval)
      : notifications_(notifications), stream_(stream), tickInterval_(tickInterval) {}

  // Ticks on the calling thread until `done` gives true (asked before the first tick and after
  // each) or `timeout` has passed. True when `done` gave true. A tick that runs late moves the
  // schedule rather than firing the missed ticks in a burst.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Lets deliveries begin, waits for them to go quiet, and posts 'AFTE' once. False, without the
  // tick, when the deliveries were still sending at `deadline`.
  bool Tick(std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max());

  uint64_t tickCount() const { return tickCount_; }

private:
  NotificationService& notifications_;
  DrawingStream* stream_;
  std::chrono::milliseconds tickInterval_;
  uint64_t tickCount_ = 0;
};

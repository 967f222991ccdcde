#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "tools/host/DrawingStream.h"
#include "tools/host/StandInServices.h"

// 'AFTE', the after-event notification: the host's idle tick, on which the plug-in does its work.
inline constexpr uint32_t kAfterEventCode = 0x41465445;
// 'APSD': the application quits.
inline constexpr uint32_t kQuitCode = 0x41505344;

// How the main thread's tick meets scene deliveries.
enum class TickPolicy {
  // No tick while a delivery is sending: the main thread is busy with that walk and ticks again
  // once every delivery has sent its last record (or holds its endless batch open). So the
  // plug-in never sees a tick between two batches of one drawing, and what follows the last
  // record (kind 4 after the view report, say) always arrives before the next tick. For the
  // export, whose end the tick decides.
  kQuietBetweenDeliveries,
  // Ticks at the steady rate whatever the deliveries do, as a host whose scene walk runs on a
  // thread of its own: a tick may meet an open batch. For the live link.
  kDuringDeliveries,
};

// The host's main thread while a command waits for the plug-in: at a steady rate it does its
// own pending work, lets scene deliveries begin and posts the tick.
class MainLoop {
public:
  static constexpr std::chrono::milliseconds kTickInterval{50};

  MainLoop(NotificationService& notifications, DrawingStream* stream,
           std::chrono::milliseconds tickInterval = kTickInterval)
      : notifications_(notifications), stream_(stream), tickInterval_(tickInterval) {}

  void SetPolicy(TickPolicy policy) { policy_ = policy; }
  // With a steady schedule RunUntil goes on with the ticks of the previous call instead of
  // ticking at once, so that what the main thread does between two calls lands at any moment
  // of the tick period, as a user's edits do.
  void SetSteadySchedule(bool steady) { steady_ = steady; }
  // Runs on the main thread before every tick (e.g. to hand posted tool messages to the tool).
  void SetIdleWork(std::function<void()> work) { idleWork_ = std::move(work); }
  // How the main thread waits between ticks and for deliveries to go quiet (default: it sleeps);
  // an application with windows handles their messages meanwhile.
  void SetIdleWait(std::function<void(std::chrono::steady_clock::time_point)> wait) { idleWait_ = std::move(wait); }

  // Ticks on the calling thread until `done` gives true (asked before the first tick and after
  // each), `timeout` has passed or the system asked the application to quit. True when `done`
  // gave true. A tick that runs late moves the
  // schedule rather than firing the missed ticks in a burst.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  std::chrono::milliseconds tickInterval() const { return tickInterval_; }
  // Does the idle work, lets deliveries begin and posts 'AFTE' once; with kQuietBetweenDeliveries
  // it first waits for the deliveries to go quiet, and gives false, without the tick, when they
  // were still sending at `deadline`.
  bool Tick(std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max());

  // A request of the system to quit (Ctrl-C, termination, the terminal gone) is answered as an
  // application answers its user's quit: the plug-in is told once ('APSD'), on the main thread.
  // True once such a request came; the command then ends instead of going on.
  bool AnswerQuitRequest();

  uint64_t tickCount() const { return tickCount_; }

private:
  bool WaitUntilQuiet(std::chrono::steady_clock::time_point deadline);

  NotificationService& notifications_;
  DrawingStream* stream_;
  std::chrono::milliseconds tickInterval_;
  TickPolicy policy_ = TickPolicy::kQuietBetweenDeliveries;
  std::function<void()> idleWork_;
  std::function<void(std::chrono::steady_clock::time_point)> idleWait_;
  uint64_t tickCount_ = 0;
  bool steady_ = false;
  bool quitAnswered_ = false;
  std::chrono::steady_clock::time_point nextTick_{};  // of the steady schedule
};

#include "tools/host/MainLoop.h"

#include <thread>

#include "platform/QuitSignal.h"
#include "tools/host/HostConsole.h"

bool MainLoop::Tick(std::chrono::steady_clock::time_point deadline) {
  if (idleWork_) idleWork_();
  if (stream_) {
    stream_->BeginPendingDeliveries();
    if (policy_ == TickPolicy::kQuietBetweenDeliveries && !WaitUntilQuiet(deadline)) return false;
  }
  notifications_.Post(kAfterEventCode, 0);
  ++tickCount_;
  return true;
}

bool MainLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + timeout;
  Clock::time_point& nextTick = nextTick_;
  if (!steady_ || nextTick == Clock::time_point{}) nextTick = Clock::now();
  while (!done()) {
    if (AnswerQuitRequest() || Clock::now() >= deadline) return done();
    const Clock::time_point wake = std::min(nextTick, deadline);
    if (idleWait_) {
      idleWait_(wake);
    } else {
      std::this_thread::sleep_until(wake);
    }
    if (Clock::now() >= deadline) return done();
    // The wait may end early (a window message, a sleep that wakes before its time): the tick
    // keeps its turn.
    if (Clock::now() < nextTick) continue;
    if (!Tick(deadline)) return done();
    nextTick = std::max(nextTick + tickInterval_, Clock::now());
  }
  return true;
}

bool MainLoop::WaitUntilQuiet(std::chrono::steady_clock::time_point deadline) {
  if (!idleWait_) return stream_->WaitUntilQuiet(deadline);
  // In short slices, so that the windows' messages are handled while a delivery sends.
  constexpr auto kSlice = std::chrono::milliseconds(20);
  while (!stream_->WaitUntilQuiet(std::min(deadline, std::chrono::steady_clock::now() + kSlice))) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    idleWait_(std::chrono::steady_clock::now());
  }
  return true;
}

bool MainLoop::AnswerQuitRequest() {
  const std::optional<platform::QuitRequest> request = platform::PendingQuitRequest();
  if (!request) return false;
  if (!quitAnswered_) {
    quitAnswered_ = true;
    HostConsole::PrintLine("the application was asked to quit (" + request->name + "); it tells the plug-in");
    notifications_.Post(kQuitCode, 0);
  }
  return true;
}

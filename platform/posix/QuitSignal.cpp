#include "platform/QuitSignal.h"

#include <csignal>

namespace platform {

namespace {

// Written only by the handler, and only while it is 0: the first request is the one answered.
volatile std::sig_atomic_t pendingSignal = 0;

constexpr int kWatchedSignals[] = {SIGINT, SIGTERM, SIGHUP};

void RememberRequest(int signal) {
  if (pendingSignal == 0) pendingSignal = signal;
}

}  // namespace

bool WatchQuitRequests() {
  struct sigaction action {};
  action.sa_handler = RememberRequest;
  sigemptyset(&action.sa_mask);
  // The handler gives way to the default action after the first request: a second one ends the
  // process. Interrupted sleeps and reads are restarted; the program polls the request.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  for (const int signal : kWatchedSignals) {
    if (sigaction(signal, &action, nullptr) != 0) return false;
  }
  return true;
}

std::optional<QuitRequest> PendingQuitRequest() {
  const int signal = pendingSignal;
  // A shell reports a program ended by a signal as 128 plus the signal's number.
  switch (signal) {
    case SIGINT: return QuitRequest{"interrupt", 128 + SIGINT};
    case SIGTERM: return QuitRequest{"terminate", 128 + SIGTERM};
    case SIGHUP: return QuitRequest{"hangup", 128 + SIGHUP};
    default: return std::nullopt;
  }
}

}  // namespace platform

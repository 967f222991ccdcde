#pragma once

#include <optional>
#include <string>

// Requests to quit that the system makes of a console program: Ctrl-C, termination and the
// terminal going away (a console control handler's events on Windows). Once they are watched they
// no longer end the process at once: the program asks for a pending request where it can quit in
// its own way. A second request of the same kind ends the process as if nobody watched, so that a
// program stuck on its way out can still be stopped.
namespace platform {

struct QuitRequest {
  std::string name;  // "interrupt", "terminate" or "hangup"
  int exitStatus;    // what a shell expects of a program ended by this request
};

// Starts watching; false when the system refused. Call once, early, from the main thread.
bool WatchQuitRequests();
// The first request that came since watching began; nothing when none came. Safe from any thread.
std::optional<QuitRequest> PendingQuitRequest();

}  // namespace platform

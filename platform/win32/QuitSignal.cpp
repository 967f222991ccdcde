// Requests to quit on Windows: the console's control events, and WM_CLOSE posted to a hidden
// window of the program's own (what RequestProcessStop and a task manager send a program).
#include "platform/QuitSignal.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <utility>

#include "platform/MessageWindow.h"

namespace platform {
namespace {

enum RequestKind { kInterrupt, kTerminate, kHangup, kRequestKinds };

constexpr const char* kRequestNames[kRequestKinds] = {"interrupt", "terminate", "hangup"};
// The status Windows gives a console program that its control events end.
constexpr int kEndedByRequest = static_cast<int>(STATUS_CONTROL_C_EXIT);

std::atomic<int> gPendingKind{-1};
std::atomic<int> gRequestsSeen[kRequestKinds];

// Keeps the first request of all; false when this is the second of its kind, which ends the
// process as if nobody watched.
bool KeepRequest(RequestKind kind) {
  int none = -1;
  gPendingKind.compare_exchange_strong(none, kind);
  return gRequestsSeen[kind].fetch_add(1) == 0;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const RequestKind kind = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? kInterrupt
                           : event == CTRL_CLOSE_EVENT                        ? kHangup
                                                                              : kTerminate;
  // Refused: the next handler, the system's, ends the process.
  if (!KeepRequest(kind)) return FALSE;
  // After a close, logoff or shutdown event the system ends the process as soon as the handler
  // returns; holding it here gives the program the seconds the system allows to quit its own way.
  if (kind != kInterrupt) Sleep(INFINITE);
  return TRUE;
}

// Runs for the life of the process on a thread of its own, which the window belongs to.
void WatchCloseMessages(std::promise<bool> created) {
  WindowAttributes attributes;
  attributes.className = u"TideLinkQuitRequests";
  MessageWindow window;
  const bool made = MessageWindow::Create(attributes, window);
  created.set_value(made);
  if (!made) return;
  for (;;) {
    const std::optional<WindowMessage> message = window.Receive(std::chrono::hours(1));
    if (message && message->message == kCloseMessage && !KeepRequest(kTerminate)) {
      // A program stuck on its way out: ended at once, since a clean exit could hang as well.
      TerminateProcess(GetCurrentProcess(), static_cast<UINT>(kEndedByRequest));
    }
  }
}

}  // namespace

bool WatchQuitRequests() {
  if (!SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) return false;
  std::promise<bool> created;
  std::future<bool> made = created.get_future();
  std::thread(WatchCloseMessages, std::move(created)).detach();
  return made.get();
}

std::optional<QuitRequest> PendingQuitRequest() {
  const int kind = gPendingKind.load();
  if (kind < 0) return std::nullopt;
  return QuitRequest{kRequestNames[kind], kEndedByRequest};
}

}  // namespace platform

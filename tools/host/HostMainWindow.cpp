#include "tools/host/HostMainWindow.h"

#include <thread>

#ifdef _WIN32
#include "platform/NativeDialogs.h"
#endif

namespace {

#ifdef _WIN32
constexpr std::u16string_view kTitle = u"Vectorworks 2025 - tidelink-host";
constexpr int kWidth = 1024;
constexpr int kHeight = 768;
#endif

}  // namespace

HostMainWindow::HostMainWindow(bool real) {
#ifdef _WIN32
  if (real) handle_ = platform::native::CreateMainWindow(kTitle, kWidth, kHeight);
#else
  (void)real;
#endif
}

HostMainWindow::~HostMainWindow() {
#ifdef _WIN32
  platform::native::DestroyMainWindow(handle_);
#endif
}

void HostMainWindow::WaitUntil(std::chrono::steady_clock::time_point deadline) {
#ifdef _WIN32
  if (handle_) {
    platform::native::ProcessMessagesUntil(deadline);
    return;
  }
#endif
  std::this_thread::sleep_until(deadline);
}

void HostMainWindow::WaitUntilClosed() {
#ifdef _WIN32
  if (handle_) platform::native::ProcessMessagesUntilClosed(handle_);
  handle_ = 0;
#endif
}

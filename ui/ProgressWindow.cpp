#include "ui/ProgressWindow.h"

#include <chrono>

#include "ui/DialogTemplate.h"
#include "ui/TextReplacement.h"

namespace ui {
namespace {

constexpr auto kTimerPeriod = std::chrono::milliseconds(100);
constexpr int kBarStep = 25;
// Visible child, smooth, marquee.
constexpr uint32_t kBarStyle = 0x50000009;

}  // namespace

ProgressWindow::ProgressWindow(UIBackend& backend, Appearance appearance)
    : backend_(backend), appearance_(std::move(appearance)) {}

ProgressWindow::~ProgressWindow() { Hide(); }

void ProgressWindow::Show() {
  Hide();
  {
    std::lock_guard lock(mutex_);
    state_ = WindowState::Opening;
    queue_.clear();
    posted_ = handled_ = 0;
  }
  thread_ = std::thread(&ProgressWindow::Run, this);
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return state_ != WindowState::Opening; });
}

void ProgressWindow::Hide() {
  Send({MessageKind::Close, {}});
  if (thread_.joinable()) thread_.join();
}

void ProgressWindow::SetText(std::u16string_view text) { Post({MessageKind::SetText, std::u16string(text)}); }

void ProgressWindow::PlaceBehindHost() { Send({MessageKind::PlaceBehindHost, {}}); }

uint64_t ProgressWindow::Post(Message message) {
  std::lock_guard lock(mutex_);
  if (state_ != WindowState::Shown) return 0;
  queue_.push_back(std::move(message));
  if (window_) window_->Wake();
  return ++posted_;
}

void ProgressWindow::Send(Message message) {
  const uint64_t number = Post(std::move(message));
  if (number == 0) return;
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return handled_ >= number || state_ != WindowState::Shown; });
}

std::optional<ProgressWindow::Message> ProgressWindow::TakeMessage() {
  std::lock_guard lock(mutex_);
  if (queue_.empty()) return std::nullopt;
  Message message = std::move(queue_.front());
  queue_.pop_front();
  return message;
}

void ProgressWindow::Run() {
  std::unique_ptr<DialogWindow> window = Open();
  {
    std::lock_guard lock(mutex_);
    state_ = window ? WindowState::Shown : WindowState::None;
    window_ = window.get();
  }
  changed_.notify_all();
  if (!window) return;

  auto nextTick = std::chrono::steady_clock::now() + kTimerPeriod;
  bool open = true;
  while (open) {
    const std::optional<Message> message = TakeMessage();
    if (!message) {
      // The window does its own work (drawing, input) while it waits for the caller or the bar.
      if (std::chrono::steady_clock::now() < nextTick) {
        window->WaitForEvents(nextTick);
        continue;
      }
      window->StepProgressBar();
      nextTick = std::chrono::steady_clock::now() + kTimerPeriod;
      continue;
    }
    open = Handle(*window, *message);
    if (!open) {
      std::lock_guard lock(mutex_);
      window_ = nullptr;
    }
    if (!open) window.reset();
    std::lock_guard lock(mutex_);
    ++handled_;
    if (!open) state_ = WindowState::None;
    changed_.notify_all();
  }
}

std::unique_ptr<DialogWindow> ProgressWindow::Open() {
  std::unique_ptr<DialogWindow> window = backend_.CreateModelessDialog(ProgressDialogTemplate());
  if (!window) return nullptr;
  if (appearance_.smallIcon) window->SetSmallIcon(*appearance_.smallIcon);
  ReplaceCaption(*window, appearance_.title);
  ReplaceItemText(*window, kProgressWaitLabel, appearance_.waitLabel);
  window->DisableCloseItem();
  window->AddProgressBar(ProgressBarRectangle(backend_.Metrics()), kBarStyle, kBarStep);
  window->Show();
  if (const auto host = backend_.WindowBounds(appearance_.host)) {
    const Rect centred = CentreOver(*host, window->Bounds());
    window->MoveTo(centred.left, centred.top);
  }
  return window;
}

bool ProgressWindow::Handle(DialogWindow& window, const Message& message) {
  switch (message.kind) {
    case MessageKind::SetText:
      window.SetItemText(kProgressStepText, message.text);
      return true;
    case MessageKind::PlaceBehindHost:
      window.PlaceBehind(appearance_.host);
      return true;
    case MessageKind::Close:
      return false;
  }
  return false;
}

}  // namespace ui

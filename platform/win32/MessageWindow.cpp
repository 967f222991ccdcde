// Message windows as real top-level windows. Each window belongs to the thread that created it:
// that thread receives its messages and destroys it, as Windows requires of every window.
#include "platform/MessageWindow.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "platform/Environment.h"

namespace platform {
namespace {

// A class registered under TIDELINK_RUNTIME_DIR ends in this mark and 16 hexadecimal digits.
constexpr std::u16string_view kNamespaceMark = u"|tidelink-";
constexpr size_t kNamespaceDigits = 16;
constexpr size_t kLongestClassName = 256;
// When the window was made, on the system-wide performance counter: it orders windows across
// processes, which the z-order does not once a window has been raised.
constexpr wchar_t kCreationProperty[] = L"TideLinkWindowCreated";

HWND ToWindow(WindowHandle handle) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(handle)); }
WindowHandle ToHandle(HWND window) { return static_cast<WindowHandle>(reinterpret_cast<uintptr_t>(window)); }
const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// The suffix of the window classes of this process's runtime folder; empty when none is set.
std::u16string NamespaceSuffix() {
  const std::optional<std::string> folder = ReadEnvironmentVariable("TIDELINK_RUNTIME_DIR");
  if (!folder || folder->empty()) return {};
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const unsigned char byte : *folder) hash = (hash ^ byte) * 1099511628211ull;
  char digits[kNamespaceDigits + 1];
  std::snprintf(digits, sizeof(digits), "%016llx", static_cast<unsigned long long>(hash));
  return std::u16string(kNamespaceMark) + std::u16string(digits, digits + kNamespaceDigits);
}

bool HasNamespaceSuffix(std::u16string_view className) {
  const size_t suffixLength = kNamespaceMark.size() + kNamespaceDigits;
  if (className.size() < suffixLength) return false;
  const std::u16string_view suffix = className.substr(className.size() - suffixLength);
  return suffix.starts_with(kNamespaceMark) &&
         std::all_of(suffix.begin() + kNamespaceMark.size(), suffix.end(),
                     [](char16_t unit) { return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'f'); });
}

// The class name the creator gave, when `registered` is a class of this runtime folder's windows.
std::optional<std::u16string> OwnClassName(std::u16string_view registered) {
  const std::u16string suffix = NamespaceSuffix();
  if (suffix.empty()) {
    if (HasNamespaceSuffix(registered)) return std::nullopt;
    return std::u16string(registered);
  }
  if (!registered.ends_with(suffix)) return std::nullopt;
  return std::u16string(registered.substr(0, registered.size() - suffix.size()));
}

std::u16string RegisteredClassName(HWND window) {
  wchar_t name[kLongestClassName + 1];
  const int length = GetClassNameW(window, name, static_cast<int>(std::size(name)));
  return std::u16string(reinterpret_cast<const char16_t*>(name), static_cast<size_t>(std::max(length, 0)));
}

std::u16string WindowTitle(HWND window) {
  // GetWindowTextLengthW sends a message, which a window of another process whose thread takes no
  // messages never answers; GetWindowTextW reads such a window's title without asking it.
  std::u16string title(256, u'\0');
  while (true) {
    const int length = GetWindowTextW(window, reinterpret_cast<wchar_t*>(title.data()), static_cast<int>(title.size()));
    if (static_cast<size_t>(std::max(length, 0)) + 1 < title.size()) {
      title.resize(static_cast<size_t>(std::max(length, 0)));
      return title;
    }
    title.resize(title.size() * 2);
  }
}

uint64_t CreationTime(HWND window) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(GetPropW(window, kCreationProperty)));
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // A close that is sent rather than posted (the system menu, a task manager) is queued like a
  // posted one, so that the owner receives it instead of the window being destroyed.
  if (message == WM_CLOSE) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// The module that holds this code: classes are registered for it, so that a module that is
// unloaded and loaded again never finds a class that points into its old place.
HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&WindowProcedure), &module);
  return module;
}

bool RegisterWindowClass(const std::u16string& className) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = ThisModule();
  windowClass.lpszClassName = Wide(className);
  return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

struct MessageWindow::State {
  HWND window = nullptr;
  std::u16string className;  // as registered
};

MessageWindow::MessageWindow() = default;
MessageWindow::~MessageWindow() { Destroy(); }
MessageWindow::MessageWindow(MessageWindow&&) noexcept = default;
MessageWindow& MessageWindow::operator=(MessageWindow&& other) noexcept {
  if (this != &other) {
    Destroy();
    state_ = std::move(other.state_);
  }
  return *this;
}

bool MessageWindow::Create(const WindowAttributes& attributes, MessageWindow& window) {
  window.Destroy();
  const std::u16string className = attributes.className + NamespaceSuffix();
  if (className.size() > kLongestClassName || !RegisterWindowClass(className)) return false;
  // A popup of no size that never takes the focus and has no taskbar button: nothing the user
  // sees, even when it counts as visible.
  const DWORD style = WS_POPUP | (attributes.visible ? WS_VISIBLE : 0);
  const HWND created = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, Wide(className), Wide(attributes.title),
                                       style, 0, 0, 0, 0, ToWindow(attributes.owner), nullptr, ThisModule(), nullptr);
  if (!created) return false;
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  SetPropW(created, kCreationProperty, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(now.QuadPart)));
  window.state_ = std::make_unique<State>(State{created, className});
  return true;
}

WindowHandle MessageWindow::handle() const { return state_ ? ToHandle(state_->window) : 0; }

std::optional<WindowMessage> MessageWindow::Receive(std::chrono::milliseconds timeout) {
  if (!state_) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    MSG message;
    // Taken straight from the queue, never dispatched: the owner decides what a message means.
    if (PeekMessageW(&message, state_->window, 0, 0, PM_REMOVE)) {
      return WindowMessage{message.message, static_cast<uint64_t>(message.wParam), static_cast<int64_t>(message.lParam)};
    }
    const auto remaining =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (remaining <= 0) return std::nullopt;
    // Wakes for messages posted since the peek; messages sent to the window are handled meanwhile.
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<int64_t>(remaining, INFINITE - 1)),
                                QS_POSTMESSAGE | QS_SENDMESSAGE, 0);
  }
}

void MessageWindow::Destroy() {
  if (!state_) return;
  RemovePropW(state_->window, kCreationProperty);
  DestroyWindow(state_->window);
  // Fails while other windows of the class remain, which then keep it.
  UnregisterClassW(Wide(state_->className), ThisModule());
  state_.reset();
}

std::vector<WindowHandle> EnumerateWindows() {
  std::vector<HWND> all;
  EnumWindows(
      [](HWND window, LPARAM found) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&all));
  // The z-order lists the newest window first until windows are raised; windows we made carry
  // their creation time, which decides among them.
  std::vector<std::pair<uint64_t, HWND>> own;
  for (auto window = all.rbegin(); window != all.rend(); ++window) {
    if (OwnClassName(RegisteredClassName(*window))) own.emplace_back(CreationTime(*window), *window);
  }
  std::stable_sort(own.begin(), own.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<WindowHandle> windows;
  for (const auto& [created, window] : own) windows.push_back(ToHandle(window));
  return windows;
}

std::optional<WindowAttributes> GetWindowAttributes(WindowHandle handle) {
  const HWND window = ToWindow(handle);
  if (!window || !::IsWindow(window)) return std::nullopt;
  std::optional<std::u16string> className = OwnClassName(RegisteredClassName(window));
  if (!className) return std::nullopt;
  WindowAttributes attributes;
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  attributes.processId = processId;
  attributes.owner = ToHandle(GetWindow(window, GW_OWNER));
  attributes.visible = IsWindowVisible(window) != FALSE;
  attributes.className = std::move(*className);
  attributes.title = WindowTitle(window);
  return attributes;
}

bool IsWindow(WindowHandle window) {
  const HWND handle = ToWindow(window);
  return handle && ::IsWindow(handle) && OwnClassName(RegisteredClassName(handle)).has_value();
}

bool PostWindowMessage(WindowHandle window, const WindowMessage& message) {
  // PostMessageW never waits for the receiver; it fails once the receiving thread's queue is full.
  return IsWindow(window) && PostMessageW(ToWindow(window), message.message, static_cast<WPARAM>(message.wParam),
                                          static_cast<LPARAM>(message.lParam));
}

}  // namespace platform

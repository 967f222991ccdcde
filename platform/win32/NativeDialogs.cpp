#include "platform/NativeDialogs.h"

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <map>
#include <mutex>

#include "platform/win32/Wide.h"

namespace platform::native {
namespace {

// Private message that ends ProcessMessagesUntil early.
constexpr UINT kWakeMessage = WM_APP + 0x7A1;
// Tab/tooltip and progress classes.
constexpr DWORD kCommonControlClasses = ICC_TAB_CLASSES | ICC_PROGRESS_CLASS;
constexpr int kCaptionReadLength = 256;
constexpr wchar_t kMainWindowClass[] = L"TideLinkStandInHost";

using win32::Utf16Text;
using win32::WideText;

HWND AsWindow(WindowHandle window) { return reinterpret_cast<HWND>(window); }

// The module this code is linked into: the plug-in's DLL, whose resources hold the templates.
HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

void InitialiseCommonControls() {
  static std::once_flag once;
  std::call_once(once, [] {
    const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), kCommonControlClasses};
    InitCommonControlsEx(&classes);
  });
}

// Shared with every window of the process; the system frees it with the module.
HICON LoadSmallIcon(const ModuleImage& icon) {
  return static_cast<HICON>(LoadImageW(ThisModule(), MAKEINTRESOURCEW(icon.resourceId), IMAGE_ICON, icon.width,
                                       icon.height, LR_SHARED));
}

// The module's bitmap at the asked size: as loaded when it has that size already, else drawn
// stretched in half-tone mode into a bitmap compatible with the screen.
HBITMAP LoadSizedBitmap(const ModuleImage& image) {
  const HBITMAP loaded = static_cast<HBITMAP>(
      LoadImageW(ThisModule(), MAKEINTRESOURCEW(image.resourceId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (!loaded) return nullptr;
  BITMAP info{};
  GetObjectW(loaded, sizeof(info), &info);
  if (info.bmWidth == image.width && info.bmHeight == image.height) return loaded;
  const HDC screen = GetDC(nullptr);
  const HDC source = CreateCompatibleDC(screen);
  const HDC target = CreateCompatibleDC(screen);
  const HBITMAP scaled = CreateCompatibleBitmap(screen, image.width, image.height);
  const HGDIOBJ oldSource = SelectObject(source, loaded);
  const HGDIOBJ oldTarget = SelectObject(target, scaled);
  SetStretchBltMode(target, HALFTONE);
  SetBrushOrgEx(target, 0, 0, nullptr);
  StretchBlt(target, 0, 0, image.width, image.height, source, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
  SelectObject(source, oldSource);
  SelectObject(target, oldTarget);
  DeleteDC(source);
  DeleteDC(target);
  ReleaseDC(nullptr, screen);
  DeleteObject(loaded);
  return scaled;
}

class TemplateDialog : public Dialog {
public:
  TemplateDialog(const DialogEvents* events, bool modal) : events_(events), modal_(modal) {}
  ~TemplateDialog() override {
    if (!modal_ && window_ && IsWindow(window_)) DestroyWindow(window_);
    for (const HFONT font : fonts_) DeleteObject(font);
    for (const HBITMAP bitmap : bitmaps_) DeleteObject(bitmap);
  }

  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      auto* dialog = reinterpret_cast<TemplateDialog*>(lParam);
      SetWindowLongPtrW(window, DWLP_USER, lParam);
      dialog->window_ = window;
      if (dialog->events_ && dialog->events_->opened) dialog->events_->opened(*dialog);
      return TRUE;
    }
    auto* dialog = reinterpret_cast<TemplateDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    return dialog ? dialog->HandleMessage(message, wParam, lParam) : FALSE;
  }

  WindowHandle Handle() const override { return reinterpret_cast<WindowHandle>(window_); }

  void SetCaption(std::u16string_view caption) override { SetWindowTextW(window_, WideText(caption).c_str()); }

  void SetItemText(int item, std::u16string_view text) override {
    if (const HWND control = Item(item)) SetWindowTextW(control, WideText(text).c_str());
  }

  void SetChecked(int item, bool checked) override {
    if (const HWND control = Item(item)) SendMessageW(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }

  bool IsChecked(int item) const override {
    const HWND control = Item(item);
    return control && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
  }

  void AttachTooltip(int item, std::u16string_view text) override {
    const HWND control = Item(item);
    if (!control || text.empty()) return;
    InitialiseCommonControls();
    const HWND tooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                                         ThisModule(), nullptr);
    if (!tooltip) return;
    std::wstring tip = WideText(text);
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = tip.data();
    SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }

  void SetSmallIcon(const ModuleImage& icon) override {
    if (const HICON loaded = LoadSmallIcon(icon)) SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(loaded));
  }

  void SetItemBitmap(int item, const ModuleImage& bitmap) override {
    const HWND control = Item(item);
    if (!control) return;
    const HBITMAP loaded = LoadSizedBitmap(bitmap);
    if (!loaded) return;
    bitmaps_.push_back(loaded);
    SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(loaded));
  }

  void SetItemFont(int item, const NativeFont& font) override {
    const HWND control = Item(item);
    if (!control) return;
    const HFONT handle = CreateFontW(font.height, 0, 0, 0, font.weight, FALSE, font.underline, FALSE, DEFAULT_CHARSET,
                                     font.outputPrecision, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                     DEFAULT_PITCH | FF_DONTCARE, WideText(font.face).c_str());
    if (!handle) return;
    fonts_.push_back(handle);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(handle), TRUE);
  }

  void SetItemTextColour(int item, uint8_t red, uint8_t green, uint8_t blue) override {
    if (!Item(item)) return;
    colours_[item] = RGB(red, green, blue);
    InvalidateRect(Item(item), nullptr, TRUE);
  }

  void SetItemEndEllipsis(int item) override {
    if (!Item(item)) return;
    SetWindowLongW(Item(item), GWL_STYLE, GetWindowLongW(Item(item), GWL_STYLE) | SS_ENDELLIPSIS);
    InvalidateRect(Item(item), nullptr, TRUE);
  }

  void DisableCloseItem() override {
    EnableMenuItem(GetSystemMenu(window_, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_DISABLED | MF_GRAYED);
  }

  void AddProgressBar(const WindowRect& bounds, uint32_t style, int step) override {
    InitialiseCommonControls();
    bar_ = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, style, bounds.left, bounds.top, bounds.width, bounds.height,
                           window_, nullptr, ThisModule(), nullptr);
    if (bar_) SendMessageW(bar_, PBM_SETSTEP, step, 0);
  }

  void StepProgressBar() override {
    if (bar_) SendMessageW(bar_, PBM_STEPIT, 0, 0);
  }

  void Show() override { ShowWindow(window_, SW_SHOW); }

  WindowRect Bounds() const override {
    RECT rect{};
    GetWindowRect(window_, &rect);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
  }

  void MoveTo(int left, int top) override {
    SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  void PlaceBehind(WindowHandle window) override {
    SetWindowPos(window_, AsWindow(window), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  }

  void Close(int result) override {
    if (modal_) EndDialog(window_, result);
  }

  void ProcessMessagesUntil(std::chrono::steady_clock::time_point deadline) override {
    for (;;) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == kWakeMessage && message.hwnd == window_) return;
        // Keys go to the dialog's own handling and are not translated.
        if (!window_ || !IsDialogMessageW(window_, &message)) DispatchMessageW(&message);
      }
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return;
      MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left.count()), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
  }

  void Wake() override { PostMessageW(window_, kWakeMessage, 0, 0); }

  void Attach(HWND window) { window_ = window; }

private:
  HWND Item(int item) const { return window_ ? GetDlgItem(window_, item) : nullptr; }

  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_COMMAND:
        // Clicks of buttons and notifying statics, and Enter and Escape, all arrive as code 0.
        if (HIWORD(wParam) == BN_CLICKED && events_ && events_->command) {
          events_->command(*this, LOWORD(wParam));
          return TRUE;
        }
        return FALSE;
      case WM_CTLCOLORSTATIC: {
        const auto found = colours_.find(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
        if (found == colours_.end()) return FALSE;
        const HDC context = reinterpret_cast<HDC>(wParam);
        SetTextColor(context, found->second);
        SetBkMode(context, TRANSPARENT);
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_MENU));
      }
      case kWakeMessage:
        // Only a loop of the system's own dispatches the wake: the window menu or a drag of the
        // window is open. It is closed, so that the caller waiting for the window is not held
        // until the user lets go; the message it waits for is handled on the next pass.
        EndMenu();
        SendMessageW(window_, WM_CANCELMODE, 0, 0);
        return TRUE;
      default:
        return FALSE;
    }
  }

  const DialogEvents* events_;
  const bool modal_;
  HWND window_ = nullptr;
  HWND bar_ = nullptr;
  std::vector<HFONT> fonts_;
  std::vector<HBITMAP> bitmaps_;
  std::map<int, COLORREF> colours_;  // text colours by control id
};

// The message box's hook: one box at a time on one thread, as message boxes are modal.
struct ActiveHook {
  HHOOK hook = nullptr;
  const std::function<MessageBoxActivation(std::u16string_view)>* onActivate = nullptr;
};
thread_local ActiveHook activeHook;

LRESULT CALLBACK MessageBoxHookProcedure(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && activeHook.onActivate) {
    const HWND window = reinterpret_cast<HWND>(wParam);
    wchar_t caption[kCaptionReadLength] = {};
    GetWindowTextW(window, caption, kCaptionReadLength);
    const MessageBoxActivation answer = (*activeHook.onActivate)(Utf16Text(caption));
    if (answer.smallIcon) {
      if (const HICON icon = LoadSmallIcon(*answer.smallIcon)) {
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
      }
    }
    if (!answer.passOn) return 0;
  }
  return CallNextHookEx(activeHook.hook, code, wParam, lParam);
}

LRESULT CALLBACK MainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

ScreenMetrics ReadScreenMetrics() {
  ScreenMetrics metrics;
  if (const HDC screen = GetDC(nullptr)) {
    metrics.dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  const LONG units = GetDialogBaseUnits();
  metrics.baseUnitX = LOWORD(units);
  metrics.baseUnitY = HIWORD(units);
  metrics.smallIconSize = GetSystemMetrics(SM_CXSMICON);
  return metrics;
}

std::optional<WindowRect> ReadWindowRect(WindowHandle window) {
  RECT rect{};
  if (!window || !IsWindow(AsWindow(window)) || !GetWindowRect(AsWindow(window), &rect)) return std::nullopt;
  return WindowRect{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

void EnableWindow(WindowHandle window, bool enabled) {
  const HWND handle = AsWindow(window);
  if (!handle || !IsWindow(handle)) return;
  ::EnableWindow(handle, enabled);
  if (!enabled) return;
  WINDOWPLACEMENT placement{};
  placement.length = sizeof(placement);
  if (GetWindowPlacement(handle, &placement)) ShowWindow(handle, placement.showCmd);
}

int RunModalDialog(int templateId, WindowHandle owner, const DialogEvents& events) {
  InitialiseCommonControls();
  TemplateDialog dialog(&events, true);
  const INT_PTR result = DialogBoxParamW(ThisModule(), MAKEINTRESOURCEW(templateId), AsWindow(owner),
                                         &TemplateDialog::Procedure, reinterpret_cast<LPARAM>(&dialog));
  return static_cast<int>(result);
}

std::unique_ptr<Dialog> CreateModelessDialog(int templateId) {
  InitialiseCommonControls();
  auto dialog = std::make_unique<TemplateDialog>(nullptr, false);
  const HWND window = CreateDialogParamW(ThisModule(), MAKEINTRESOURCEW(templateId), nullptr,
                                         &TemplateDialog::Procedure, reinterpret_cast<LPARAM>(dialog.get()));
  if (!window) return nullptr;
  dialog->Attach(window);
  return dialog;
}

int ShowMessageBox(WindowHandle owner, std::u16string_view text, std::u16string_view caption, uint32_t flags,
                   const std::function<MessageBoxActivation(std::u16string_view caption)>& onActivate) {
  const bool installed = activeHook.hook == nullptr;
  if (installed) {
    activeHook.hook = SetWindowsHookExW(WH_CBT, &MessageBoxHookProcedure, nullptr, GetCurrentThreadId());
    activeHook.onActivate = &onActivate;
  }
  const int result = MessageBoxW(AsWindow(owner), WideText(text).c_str(), WideText(caption).c_str(), flags);
  if (installed) {
    if (activeHook.hook) UnhookWindowsHookEx(activeHook.hook);
    activeHook = {};
  }
  return result;
}

std::optional<std::u16string> ShowSaveFileDialog(const SaveFileRequest& request) {
  // Pairs of zero-terminated texts, and one more zero at the end.
  std::wstring filter;
  for (const auto& [description, pattern] : request.filters) {
    filter += WideText(description) + L'\0' + WideText(pattern) + L'\0';
  }
  filter += L'\0';
  std::wstring file(request.bufferLength, L'\0');
  const std::wstring name = WideText(request.fileName).substr(0, request.bufferLength - 1);
  file.replace(0, name.size(), name);
  const std::wstring folder = WideText(request.initialFolder);
  const std::wstring title = WideText(request.title);
  const std::wstring extension = WideText(request.defaultExtension);

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = AsWindow(request.owner);
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(request.bufferLength);
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
  dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  dialog.Flags = request.flags;
  if (!GetSaveFileNameW(&dialog)) return std::nullopt;
  return Utf16Text(file.c_str());
}

WindowHandle CreateMainWindow(std::u16string_view title, int width, int height) {
  static std::once_flag registered;
  std::call_once(registered, [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &MainWindowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    windowClass.hbrBackground = GetSysColorBrush(COLOR_APPWORKSPACE);
    windowClass.lpszClassName = kMainWindowClass;
    RegisterClassExW(&windowClass);
  });
  const HWND window = CreateWindowExW(0, kMainWindowClass, WideText(title).c_str(), WS_OVERLAPPEDWINDOW, 0, 0, width,
                                      height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!window) return 0;
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  return reinterpret_cast<WindowHandle>(window);
}

void DestroyMainWindow(WindowHandle window) {
  if (window) DestroyWindow(AsWindow(window));
}

void ProcessMessagesUntil(std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left.count()), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

void ProcessMessagesUntilClosed(WindowHandle window) {
  MSG message;
  while (IsWindow(AsWindow(window)) && GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace platform::native

// The plug-in's dialogs, message boxes, save dialog and progress window as a user meets them: the
// stand-in host shows each one through the plug-in's own code path with the system's windows
// (--ui windows), and the test finds it among the session's windows, checks its controls against
// the templates the module ships, works it with window messages as a user would and photographs
// it. Run by scripts/test-windows-ui.sh, which provides the display, the prefix and the
// stand-in browser.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kWindowTimeout = 60s;
constexpr wchar_t kSettingsKey[] = L"Software\\Brisca\\PluginForVectorworks";
// A message box's icon control: 20 on Windows, 1088 under Wine.
constexpr int kWindowsMessageIcon = 20;
constexpr int kWineMessageIcon = 1088;
constexpr int kMessageText = 0xFFFF;

std::wstring Environment(const wchar_t* name) {
  wchar_t value[4096] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, 4096);
  return length > 0 && length < 4096 ? value : L"";
}

// A Unix path of the test script as this process sees it (Wine maps the root to Z:).
fs::path LocalPath(std::wstring path) {
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  for (wchar_t& character : path) {
    if (character == L'/') character = L'\\';
  }
  return fs::path(path);
}

bool RunsUnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// Waits for `ready`, asking every 20 ms; false when it did not come within `timeout`.
bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds timeout = kWindowTimeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (!ready()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

// Asks the window itself, as an edit box keeps its text apart from the window's title.
std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &copied);
  return text;
}

std::string Narrow(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(size > 0 ? size - 1 : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, narrow.data(), size, nullptr, nullptr);
  return narrow;
}

// The stand-in host with the system's own windows, ended when the test ends.
class HostProcess {
public:
  explicit HostProcess(const std::wstring& arguments) {
    const fs::path host = LocalPath(Environment(L"TIDELINK_BIN_DIR")) / "tidelink-host.exe";
    std::wstring commandLine = L"\"" + host.wstring() + L"\" " + arguments + L" --ui windows";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    started_ = CreateProcessW(host.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process_) != 0;
  }
  ~HostProcess() {
    if (!started_) return;
    if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(process_.hProcess, 9);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  bool started() const { return started_; }
  DWORD id() const { return process_.dwProcessId; }
  std::optional<DWORD> WaitForExit(std::chrono::milliseconds timeout = kWindowTimeout) {
    if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return std::nullopt;
    DWORD status = 0;
    GetExitCodeProcess(process_.hProcess, &status);
    return status;
  }

private:
  bool started_ = false;
  PROCESS_INFORMATION process_{};
};

// Every top-level window of the session, in the system's order.
std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  EnumWindows(
      [](HWND window, LPARAM found) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  return windows;
}

// The first shown top-level window that `matches`; null when there is none.
HWND FindShownWindow(const std::function<bool(HWND)>& matches) {
  for (const HWND window : TopLevelWindows()) {
    if (IsWindowVisible(window) && matches(window)) return window;
  }
  return nullptr;
}

DWORD ProcessOf(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return process;
}

// The shown top-level window of `process` with this caption; `dialogsOnly` keeps to the dialog
// class, which message boxes, dialogs and the save dialog all have.
HWND FindWindowOf(DWORD process, const std::wstring& caption, bool dialogsOnly = true) {
  return FindShownWindow([&](HWND window) {
    return ProcessOf(window) == process && (!dialogsOnly || ClassOf(window) == L"#32770") && TextOf(window) == caption;
  });
}

// Whether `process` shows a top-level window of this class.
bool ShowsWindowOfClass(DWORD process, const std::wstring& className) {
  return FindShownWindow([&](HWND window) { return ProcessOf(window) == process && ClassOf(window) == className; });
}

HWND WaitForWindow(DWORD process, const std::wstring& caption, bool dialogsOnly = true) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindWindowOf(process, caption, dialogsOnly)) != nullptr; });
  return found;
}

// Tooltip windows are top-level windows owned by the window they serve.
size_t OwnedTooltips(HWND owner) {
  const std::vector<HWND> windows = TopLevelWindows();
  return std::count_if(windows.begin(), windows.end(), [&](HWND window) {
    return GetWindow(window, GW_OWNER) == owner && ClassOf(window) == L"tooltips_class32";
  });
}

std::vector<HWND> DirectChildren(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) children.push_back(child);
  return children;
}

struct TemplateFont {
  const wchar_t* face;
  int points;
  int weight;
  BYTE charset;
};

struct ExpectedControl {
  int id;
  const wchar_t* className;
  std::wstring text;
  int x, y, width, height;
  DWORD style;
};

// Dialog base units of a template's font on this screen, worked out as the dialog manager does:
// the average width of the Latin letters and the font's cell height.
SIZE BaseUnitsOf(const TemplateFont& font) {
  const HDC screen = GetDC(nullptr);
  const int height = -MulDiv(font.points, GetDeviceCaps(screen, LOGPIXELSY), 72);
  const HFONT created = CreateFontW(height, 0, 0, 0, font.weight, FALSE, FALSE, FALSE, font.charset, 0, 0, 0, 0, font.face);
  const HGDIOBJ old = SelectObject(screen, created);
  TEXTMETRICW metrics{};
  GetTextMetricsW(screen, &metrics);
  const wchar_t alphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  SIZE extent{};
  GetTextExtentPoint32W(screen, alphabet, 52, &extent);
  SelectObject(screen, old);
  DeleteObject(created);
  ReleaseDC(nullptr, screen);
  return {(extent.cx / 26 + 1) / 2, metrics.tmHeight};
}

RECT RectInClient(HWND control, HWND dialog) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// Every control of the table is there as the template gives it, with its text after the
// plug-in's replacements, in pixels converted with the dialog's own font (one pixel of rounding
// either way); and nothing else is there but `extraChildren` more windows.
void ExpectControls(HWND dialog, const TemplateFont& font, const std::vector<ExpectedControl>& controls,
                    size_t extraChildren = 0) {
  const SIZE units = BaseUnitsOf(font);
  EXPECT_EQ(DirectChildren(dialog).size(), controls.size() + extraChildren);
  for (const ExpectedControl& expected : controls) {
    SCOPED_TRACE("control " + std::to_string(expected.id));
    const HWND control = GetDlgItem(dialog, expected.id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(_wcsicmp(ClassOf(control).c_str(), expected.className), 0) << Narrow(ClassOf(control));
    EXPECT_EQ(Narrow(TextOf(control)), Narrow(expected.text));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE)), expected.style);
    const RECT rect = RectInClient(control, dialog);
    EXPECT_NEAR(rect.left, MulDiv(expected.x, units.cx, 4), 1);
    EXPECT_NEAR(rect.top, MulDiv(expected.y, units.cy, 8), 1);
    if (expected.width > 0) {
      EXPECT_NEAR(rect.right - rect.left, MulDiv(expected.width, units.cx, 4), 1);
    }
    if (expected.height > 0) {
      EXPECT_NEAR(rect.bottom - rect.top, MulDiv(expected.height, units.cy, 8), 1);
    }
  }
}

std::string UnixPath(const fs::path& path);

// Runs a command line of the test machine's own shell and waits for it. Wine starts Unix programs
// like Windows ones but cannot wait for them, so the shell leaves its exit status in a file of
// the shots folder when it is done. The status; -1 when it could not be started or did not end.
int RunShell(const std::string& command) {
  static int runs = 0;
  const fs::path status = LocalPath(Environment(L"TIDELINK_UI_SHOTS")) / ("shell-" + std::to_string(++runs) + ".status");
  std::error_code ignored;
  fs::remove(status, ignored);
  const std::string script = "(" + command + "); echo $? > " + UnixPath(status) + ".part && mv " + UnixPath(status) +
                             ".part " + UnixPath(status);
  std::wstring line = L"/bin/sh -c \"";
  for (const char character : script) line += character == '"' ? std::wstring(L"\\\"") : std::wstring(1, character);
  line += L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return -1;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (!WaitUntil([&] { return fs::exists(status); }, 120s)) return -1;
  int code = -1;
  std::ifstream(status) >> code;
  fs::remove(status, ignored);
  return code;
}

std::string UnixPath(const fs::path& path) {
  std::string text = path.string();
  if (text.size() > 2 && (text[0] == 'Z' || text[0] == 'z') && text[1] == ':') text = text.substr(2);
  for (char& character : text) {
    if (character == '\\') character = '/';
  }
  return text;
}

fs::path SourceFolder() { return LocalPath(Environment(L"TIDELINK_SOURCE_DIR")); }

// Photographs `window` (its X window, frame included) into the shots folder and compares it with
// the reference picture of that name: after a one-pixel blur, which evens out the anti-aliasing
// and gamma of glyphs, no more than 0.02 % of the pixels may differ by more than a fifth of the
// range. A label moved by two pixels changes about 70 pixels of the Settings dialog, one letter
// of it about 15, a missing one hundreds. Without a reference the test fails and
// says where the new shot is.
// `moving`, a child that keeps changing (the progress bar), is painted over in the shot.
void ExpectLooksLikeReference(HWND window, const std::string& name, HWND moving = nullptr) {
  const fs::path shots = LocalPath(Environment(L"TIDELINK_UI_SHOTS"));
  const std::string shot = UnixPath(shots / (name + ".png"));
  const std::string fresh = shot + ".new.png";
  const std::string display = Narrow(Environment(L"TIDELINK_UI_DISPLAY"));
  std::string mask;
  if (moving) {
    RECT outer{}, inner{};
    GetWindowRect(window, &outer);
    GetWindowRect(moving, &inner);
    mask = " -fill black -draw 'rectangle " + std::to_string(inner.left - outer.left) + "," +
           std::to_string(inner.top - outer.top) + " " + std::to_string(inner.right - outer.left - 1) + "," +
           std::to_string(inner.bottom - outer.top - 1) + "'";
  }
  // A window just shown may not be on the display yet, or half drawn, and Wine may give it a new
  // X window on the way: the shot is taken again, of the X window the window has then, until two
  // in a row are the same. The shell exits 0 when they are, 3 when it kept a new shot.
  RunShell("rm -f " + shot);
  bool settled = false;
  for (int attempt = 0; attempt < 100 && !settled && IsWindow(window); ++attempt) {
    const auto surface = reinterpret_cast<uintptr_t>(GetPropW(window, L"__wine_x11_whole_window"));
    ASSERT_NE(surface, 0u) << "no X window behind the window; the shots need Wine's X11 driver";
    settled = RunShell("xwd -silent -id " + std::to_string(surface) + " -display " + display +
                       " 2>/dev/null | /usr/bin/convert xwd:-" + mask + " " + fresh + " 2>/dev/null || exit 1; [ -f " +
                       shot + " ] && /usr/bin/compare -metric AE " + fresh + " " + shot + " null: 2>/dev/null && exit 0; mv " +
                       fresh + " " + shot + "; exit 3") == 0;
  }
  ASSERT_TRUE(settled) << "no settled picture of the window";
  const fs::path reference = SourceFolder() / "tests" / "win32" / "ui" / "references" / (name + ".png");
  ASSERT_TRUE(fs::exists(reference)) << "no reference picture " << reference << "; this run's shot is " << shot;
  const std::string counted = UnixPath(shots / (name + ".difference"));
  const std::string blurred = UnixPath(shots / name);
  RunShell("/usr/bin/convert " + UnixPath(reference) + " -blur 0x1 " + blurred + ".reference.png && /usr/bin/convert " +
           shot + " -blur 0x1 " + blurred + ".shot.png && /usr/bin/compare -metric AE -fuzz 20% " + blurred +
           ".reference.png " + blurred + ".shot.png null: 2> " + counted);
  std::ifstream file(shots / (name + ".difference"));
  double differing = -1;
  file >> differing;
  RECT bounds{};
  GetWindowRect(window, &bounds);
  const double pixels = double(bounds.right - bounds.left) * double(bounds.bottom - bounds.top);
  EXPECT_GE(differing, 0) << "the shot " << shot << " does not compare with " << reference << " (size?)";
  EXPECT_LE(differing, pixels * 0.0002) << shot << " differs from " << reference;
}

// An address as it reaches the browser. Wine's shell normalises it on the way (the escapes of
// - . _ ~ decoded, a '/' after a bare host name); Windows hands it over as it is.
std::string BrowserForm(std::string address) {
  if (!RunsUnderWine()) return address;
  for (const auto& [escape, character] : {std::pair{"%2d", '-'}, {"%2e", '.'}, {"%5f", '_'}, {"%7e", '~'}}) {
    for (size_t at = address.find(escape); at != std::string::npos; at = address.find(escape, at)) {
      address.replace(at, 3, 1, character);
    }
  }
  const size_t host = address.find("://");
  const size_t end = host == std::string::npos ? std::string::npos : address.find_first_of("/?", host + 3);
  if (end != std::string::npos && address[end] == '?') address.insert(end, "/");
  return address;
}

void Click(HWND control) {
  PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

void PressButton(HWND dialog, int id) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id))); }

std::optional<DWORD> ReadSetting(const wchar_t* name) {
  DWORD value = 0, size = sizeof(value);
  if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

void WriteSetting(const wchar_t* name, DWORD value) {
  RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, name, REG_DWORD, &value, sizeof(value));
}

HWND HostWindowOf(DWORD process) { return WaitForWindow(process, L"Vectorworks 2025 - tidelink-host", false); }

// The host stays open after its command, as the application does, until its window is closed;
// its exit status then.
std::optional<DWORD> CloseHost(HostProcess& host, std::chrono::milliseconds timeout = kWindowTimeout) {
  PostMessageW(HostWindowOf(host.id()), WM_CLOSE, 0, 0);
  return host.WaitForExit(timeout);
}

class NativeDialogsTest : public testing::Test {
protected:
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
    scratch_ = fs::temp_directory_path() / ("tidelink-ui-" + std::to_string(GetCurrentProcessId()) + "-" +
                                            testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(scratch_);
    fs::create_directories(scratch_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(scratch_, ignored);
  }

  // The message box of this title: its text, OK button and icon, and, in its picture, the
  // plug-in's small icon in the caption (Wine answers no WM_GETICON across processes); then OK.
  void ExpectMessageBoxAndPressOk(const HostProcess& host, const std::wstring& title, const std::string& shot = "") {
    const HWND box = WaitForWindow(host.id(), L"Ombrel TideLink - " + title);
    ASSERT_NE(box, nullptr) << Narrow(title);
    EXPECT_NE(GetDlgItem(box, kMessageText), nullptr);
    const HWND icon = GetDlgItem(box, RunsUnderWine() ? kWineMessageIcon : kWindowsMessageIcon);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(GetWindowLongW(icon, GWL_STYLE) & SS_TYPEMASK, SS_ICON);
    EXPECT_EQ(Narrow(TextOf(GetDlgItem(box, IDOK))), "OK");
    if (!shot.empty()) ExpectLooksLikeReference(box, shot);
    PressButton(box, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
  }

  fs::path scratch_;
};

const TemplateFont kSmallFont{L"MS Shell Dlg", 8, 0, DEFAULT_CHARSET};
const TemplateFont kAboutFont{L"MS Shell Dlg", 9, 400, EASTEUROPE_CHARSET};
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

TEST_F(NativeDialogsTest, SettingsShowsTheStoredSettingsAndStoresEachClickAtOnce) {
  WriteSetting(L"CameraAutoSync", 1);
  WriteSetting(L"RepairMode", 0);
  WriteSetting(L"OptimizeGeometries", 1);
  HostProcess host(L"call TideLink_Settings");
  ASSERT_TRUE(host.started());
  const HWND dialog = WaitForWindow(host.id(), L"Ombrel TideLink settings");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE)) & ~(WS_VISIBLE | WS_CLIPSIBLINGS | DS_3DLOOK), 0x80C800C8u)
      << "DS_3DLOOK is the system's own addition";
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), HostWindowOf(host.id()));
  EXPECT_FALSE(IsWindowEnabled(HostWindowOf(host.id()))) << "a modal dialog keeps the user out of its owner";
  const DWORD box = kChild | WS_TABSTOP | BS_AUTOCHECKBOX;
  ExpectControls(dialog, kSmallFont,
                 {{IDOK, L"Button", L"OK", 133, 76, 50, 14, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON},
                  {1002, L"Button", L"Automatically start camera synchronization", 13, 16, 164, 10, box},
                  {1003, L"Button", L"Repair mode", 13, 31, 164, 10, box},
                  {1004, L"Button", L"Optimize geometries", 13, 46, 164, 10, box}});
  EXPECT_EQ(SendMessageW(GetDlgItem(dialog, 1002), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(GetDlgItem(dialog, 1003), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessageW(GetDlgItem(dialog, 1004), BM_GETCHECK, 0, 0), BST_CHECKED);
  ExpectLooksLikeReference(dialog, "settings");
  EXPECT_EQ(OwnedTooltips(dialog), 3u) << "one tooltip for each check box";

  Click(GetDlgItem(dialog, 1003));
  EXPECT_TRUE(WaitUntil([] { return ReadSetting(L"RepairMode") == 1u; })) << "stored the moment it is clicked";
  Click(GetDlgItem(dialog, 1002));
  EXPECT_TRUE(WaitUntil([] { return ReadSetting(L"CameraAutoSync") == 0u; }));
  EXPECT_EQ(ReadSetting(L"OptimizeGeometries"), 1u);

  PressButton(dialog, IDCANCEL);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
  EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(HostWindowOf(host.id())) != FALSE; }));
  EXPECT_EQ(CloseHost(host), 0u);
  EXPECT_EQ(ReadSetting(L"RepairMode"), 1u) << "Cancel undoes nothing";
  EXPECT_EQ(ReadSetting(L"CameraAutoSync"), 0u);
}

TEST_F(NativeDialogsTest, AboutShowsTheVersionPictureAndLinksAndOpensTheLinksInTheBrowser) {
  const fs::path opened = LocalPath(Environment(L"TIDELINK_OPENED_ADDRESSES"));
  std::error_code ignored;
  fs::remove(opened, ignored);
  HostProcess host(L"call TideLink_About");
  ASSERT_TRUE(host.started());
  const HWND dialog = WaitForWindow(host.id(), L"About Ombrel TideLink");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), HostWindowOf(host.id()));
  const DWORD text = kChild | WS_GROUP | SS_LEFT;
  // The links stay on their one line: the download address is wider than its control.
  const DWORD link = text | SS_NOTIFY | SS_ENDELLIPSIS;
  // The picture's control takes the size of the About picture on this screen: 110 × 140 at 96 dpi.
  // Its template's window-edge style is dropped by the system, as for every child without a frame.
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  ExpectControls(dialog, kAboutFont,
                 {{IDOK, L"Button", L"OK", 166, 80, 45, 15, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON},
                  {1004, L"Static", L"", 8, 8, 0, 0, kChild | SS_BITMAP | SS_NOTIFY},
                  {1007, L"Static", L"version: 3.60.92", 79, 22, 127, 11, text},
                  {1008, L"Static", L"Click here to get help:", 79, 36, 127, 11, text},
                  {1009, L"Static", L"www.ombrel.com/support.html", 79, 44, 127, 11, link},
                  {1010, L"Static", L"Click here to get the latest version:", 79, 57, 127, 11, text},
                  {1011, L"Static", L"www.ombrel.com/vectorworks-exporters.html", 79, 65, 127, 11, link}});
  const RECT picture = RectInClient(GetDlgItem(dialog, 1004), dialog);
  EXPECT_EQ(picture.right - picture.left, MulDiv(110, dpi, 96));
  EXPECT_EQ(picture.bottom - picture.top, MulDiv(140, dpi, 96));
  ExpectLooksLikeReference(dialog, "about");

  const auto openedLines = [&] {
    std::vector<std::string> lines;
    std::ifstream file(opened);
    for (std::string line; std::getline(file, line);) lines.push_back(BrowserForm(line));
    return lines;
  };
  const std::string query =
      "?utm_source=25%2e0%2e0%20%28stand%2din%20host%29&utm_medium=3%2e60%2e92&utm_campaign=Vectorworks%20TideLink";
  Click(GetDlgItem(dialog, 1009));
  ASSERT_TRUE(WaitUntil([&] { return openedLines().size() == 1; })) << "the support link reaches the browser";
  EXPECT_EQ(openedLines()[0], BrowserForm("https://www.ombrel.com/support.html" + query));
  Click(GetDlgItem(dialog, 1011));
  ASSERT_TRUE(WaitUntil([&] { return openedLines().size() == 2; }));
  EXPECT_EQ(openedLines()[1], BrowserForm("https://www.ombrel.com/vectorworks-exporters.html" + query));
  Click(GetDlgItem(dialog, 1008));
  Click(GetDlgItem(dialog, 1004));
  ASSERT_TRUE(WaitUntil([&] { return openedLines().size() == 3; })) << "the picture opens the home page";
  EXPECT_EQ(openedLines()[2], BrowserForm("https://www.ombrel.com" + query));

  PressButton(dialog, IDOK);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
  EXPECT_EQ(CloseHost(host), 0u);
  EXPECT_EQ(openedLines().size(), 3u) << "a plain label opens nothing";
}

TEST_F(NativeDialogsTest, AMessageBoxHasTheCaptionTextIconAndButtonsItWasAskedFor) {
  HostProcess host(L"export -o " + (scratch_ / "never.dae").wstring() + L" --view sheet");
  ASSERT_TRUE(host.started());
  const HWND box = WaitForWindow(host.id(), L"Ombrel TideLink - Perspective view needed");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(GetWindow(box, GW_OWNER), HostWindowOf(host.id()));
  EXPECT_EQ(Narrow(TextOf(GetDlgItem(box, kMessageText))),
            "Only a perspective view of a design layer can be exported.\n"
            "Please switch to a design layer, choose a perspective view and try again.");
  EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr);
  EXPECT_EQ(GetDlgItem(box, IDYES), nullptr);
  ExpectMessageBoxAndPressOk(host, L"Perspective view needed", "message-information");
  EXPECT_EQ(CloseHost(host), 1u) << "no export was started";
  EXPECT_FALSE(fs::exists(scratch_ / "never.dae"));
}

TEST_F(NativeDialogsTest, AQuestionHasYesAndNoAndNoOpensNothing) {
  const fs::path opened = LocalPath(Environment(L"TIDELINK_OPENED_ADDRESSES"));
  std::error_code ignored;
  fs::remove(opened, ignored);
  // No renderer is installed or running here, and the drawing was never saved.
  HostProcess host(L"link --timeout 60");
  ASSERT_TRUE(host.started());
  const HWND box = WaitForWindow(host.id(), L"Ombrel TideLink - Ombrel update needed");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(Narrow(TextOf(GetDlgItem(box, kMessageText))),
            "TideLink needs Ombrel 8.5 or later, which was not found on this computer.\n"
            "Would you like to visit the Ombrel website to download it?");
  EXPECT_EQ(Narrow(TextOf(GetDlgItem(box, IDYES))), "&Yes");
  EXPECT_EQ(Narrow(TextOf(GetDlgItem(box, IDNO))), "&No");
  EXPECT_EQ(GetDlgItem(box, IDOK), nullptr);
  ExpectLooksLikeReference(box, "message-question");
  PressButton(box, IDNO);
  const HWND running = WaitForWindow(host.id(), L"Ombrel TideLink - Ombrel is not running");
  ASSERT_NE(running, nullptr);
  PressButton(running, IDNO);
  ExpectMessageBoxAndPressOk(host, L"Save your drawing");
  EXPECT_EQ(CloseHost(host), 1u) << "the link did not start";
  EXPECT_FALSE(fs::exists(opened)) << "No opens no web site";
}

struct ProgressSeen {
  std::set<std::string> texts;  // every step text the window showed
  bool hostDisabled = false;    // whenever the window came up or showed a new step
  bool centred = false;         // over the host window
};

class ExportTest : public NativeDialogsTest {
protected:
  // Types `file` into the save dialog, which offers the drawing's name, and confirms.
  // `replacing`: the file exists, and the system's question whether to replace it is answered Yes.
  void AnswerSaveDialog(const HostProcess& host, const fs::path& file, const std::wstring& offered,
                        bool replacing = false) {
    ExpectMessageBoxAndPressOk(host, L"Materials in Ombrel");
    const HWND dialog = WaitForWindow(host.id(), L"Save as Ombrel COLLADA");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), HostWindowOf(host.id()));
    HWND name = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (name = FileNameBox(dialog)) != nullptr && TextOf(name) == offered; }))
        << "offered: " << (name ? Narrow(TextOf(name)) : "no name box");
    // The file types, COLLADA files selected.
    const HWND types = GetDlgItem(dialog, 0x470);
    ASSERT_NE(types, nullptr);
    EXPECT_EQ(SendMessageW(types, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(types, CB_GETCURSEL, 0, 0), 0);
    for (const auto& [index, expected] : {std::pair{0, "COLLADA files (*.dae)"}, {1, "All files (*.*)"}}) {
      wchar_t text[256] = {};
      SendMessageW(types, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
      EXPECT_EQ(Narrow(text), expected);
    }
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(file.wstring().c_str()));
    PressButton(dialog, IDOK);
    if (replacing) {
      // The system asks, from a box of its own over the save dialog, whether to replace the file.
      HWND question = nullptr;
      ASSERT_TRUE(WaitUntil([&] { return (question = OwnedQuestion(dialog)) != nullptr; })) << "asked to replace";
      PressButton(question, IDYES);
    }
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
  }

  // A shown dialog owned by `dialog`: Wine's message box or the task dialog of Windows 10, both of
  // which take Yes as a command.
  static HWND OwnedQuestion(HWND dialog) {
    return FindShownWindow([&](HWND window) { return GetWindow(window, GW_OWNER) == dialog && ClassOf(window) == L"#32770"; });
  }


  // Watches the progress window from its first appearance until it is gone.
  ProgressSeen WatchProgress(const HostProcess& host, const std::string& shot = "") {
    ProgressSeen seen;
    const HWND hostWindow = HostWindowOf(host.id());
    const HWND progress = WaitForWindow(host.id(), L"Ombrel TideLink export");
    if (!progress) return seen;
    seen.hostDisabled = !IsWindowEnabled(hostWindow);
    RECT window{}, owner{};
    GetWindowRect(progress, &window);
    GetWindowRect(hostWindow, &owner);
    seen.centred = std::abs((window.left + window.right) - (owner.left + owner.right)) <= 1 &&
                   std::abs((window.top + window.bottom) - (owner.top + owner.bottom)) <= 1;
    EXPECT_EQ(GetWindow(progress, GW_OWNER), nullptr);
    CheckProgressControls(progress);
    if (!shot.empty()) ExpectLooksLikeReference(progress, shot, FindWindowExW(progress, nullptr, L"msctls_progress32", nullptr));
    // The host is let in again just before the window goes, so it is asked only when a new step
    // shows.
    while (IsWindow(progress)) {
      const std::string text = Narrow(TextOf(GetDlgItem(progress, 1021)));
      if (!text.empty() && seen.texts.insert(text).second) {
        seen.hostDisabled = seen.hostDisabled && (!IsWindowEnabled(hostWindow) || !IsWindow(progress));
      }
      std::this_thread::sleep_for(5ms);
    }
    return seen;
  }

  static HWND FileNameBox(HWND dialog) {
    // The name box of either style of the system's save dialog: edt1, or the edit inside cmb13.
    if (const HWND edit = GetDlgItem(dialog, 0x480); edit && IsWindowVisible(edit)) return edit;
    HWND found = nullptr;
    if (const HWND combo = GetDlgItem(dialog, 0x47C)) {
      EnumChildWindows(
          combo,
          [](HWND window, LPARAM result) -> BOOL {
            if (ClassOf(window) != L"Edit") return TRUE;
            *reinterpret_cast<HWND*>(result) = window;
            return FALSE;
          },
          reinterpret_cast<LPARAM>(&found));
    }
    return found;
  }

  static void CheckProgressControls(HWND progress) {
    const DWORD text = kChild | WS_GROUP;
    ExpectControls(progress, kSmallFont,
                   {{1020, L"Static", L"Please wait while your drawing is exported...", 13, 20, 164, 16, text | SS_LEFT}}, 2);
    const HWND step = GetDlgItem(progress, 1021);
    ASSERT_NE(step, nullptr);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(step, GWL_STYLE)), text | SS_CENTER);
    const HWND bar = FindWindowExW(progress, nullptr, L"msctls_progress32", nullptr);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(bar, GWL_STYLE)), 0x50000009u);
    const LONG units = GetDialogBaseUnits();
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const RECT rect = RectInClient(bar, progress);
    EXPECT_EQ(rect.left, MulDiv(MulDiv(13, LOWORD(units), 4), 72, dpi));
    EXPECT_EQ(rect.top, MulDiv(MulDiv(40, HIWORD(units), 8), 72, dpi));
    EXPECT_EQ(rect.right - rect.left, MulDiv(MulDiv(193, LOWORD(units), 4), 72, dpi));
    EXPECT_EQ(rect.bottom - rect.top, MulDiv(MulDiv(17, LOWORD(units), 8), 72, dpi));
  }
};

TEST_F(ExportTest, TheSaveDialogsNameIsTheFileWrittenWhileTheProgressWindowKeepsTheHostDisabled) {
  const fs::path drawing = scratch_ / "House.vwx";
  const fs::path file = scratch_ / "chosen.dae";
  // Without the view report the export ends only after the host has been quiet for five seconds,
  // which leaves time to look at the progress window.
  HostProcess host(L"export -o \"" + file.wstring() + L"\" --document \"" + drawing.wstring() + L"\" --no-view-report");
  ASSERT_TRUE(host.started());
  AnswerSaveDialog(host, file, L"House.dae");
  const ProgressSeen seen = WatchProgress(host, "progress");
  EXPECT_TRUE(seen.hostDisabled);
  EXPECT_TRUE(seen.centred) << "centred over the host window";
  EXPECT_FALSE(seen.texts.empty());
  ExpectMessageBoxAndPressOk(host, L"Export complete");
  EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(HostWindowOf(host.id())) != FALSE; }));
  EXPECT_EQ(CloseHost(host), 0u);
  EXPECT_TRUE(fs::exists(file));
}

// A user who opens the progress window's window menu and walks away must not hold up the export,
// nor the host, which waits for the window at each step.
TEST_F(ExportTest, AWindowMenuLeftOpenOnTheProgressWindowDoesNotHoldTheExport) {
  const fs::path file = scratch_ / "menu.dae";
  HostProcess host(L"export -o \"" + file.wstring() + L"\" --no-view-report");
  ASSERT_TRUE(host.started());
  AnswerSaveDialog(host, file, L"untitled.dae");
  const HWND progress = WaitForWindow(host.id(), L"Ombrel TideLink export");
  ASSERT_NE(progress, nullptr);
  PostMessageW(progress, WM_SYSCOMMAND, SC_KEYMENU, L' ');
  ASSERT_TRUE(WaitUntil([&] { return ShowsWindowOfClass(host.id(), L"#32768"); })) << "the window menu opened";
  ExpectMessageBoxAndPressOk(host, L"Export complete");
  EXPECT_EQ(CloseHost(host), 0u);
  EXPECT_TRUE(fs::exists(file));
}

TEST_F(ExportTest, ACancelledExportClosesTheProgressWindowAndEnablesTheHost) {
  const fs::path file = scratch_ / "cancelled.dae";
  // The host ends the stream near its end, as when the user stops it there.
  HostProcess host(L"export -o \"" + file.wstring() + L"\" --generated 1000000 --cancel-after 400 --timeout 600");
  ASSERT_TRUE(host.started());
  AnswerSaveDialog(host, file, L"untitled.dae");
  const ProgressSeen seen = WatchProgress(host);
  EXPECT_TRUE(seen.hostDisabled);
  EXPECT_EQ(seen.texts, (std::set<std::string>{"Collecting the drawing..."})) << "nothing was prepared or written";
  ExpectMessageBoxAndPressOk(host, L"Export canceled");
  EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(HostWindowOf(host.id())) != FALSE; }));
  EXPECT_EQ(FindWindowOf(host.id(), L"Ombrel TideLink export"), nullptr);
  CloseHost(host);
  EXPECT_FALSE(fs::exists(file));
}

// The chosen file is open in another program that lets no one else in, as a viewer may hold it:
// the export fails when it comes to write, says so, and leaves that file as it was.
TEST_F(ExportTest, AnExportThatCannotWriteItsFileClosesTheProgressWindowAndLeavesTheFileAlone) {
  const fs::path file = scratch_ / "held.dae";
  const std::string earlier = "<COLLADA>an earlier export</COLLADA>\n";
  std::ofstream(file, std::ios::binary) << earlier;
  const HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  HostProcess host(L"export -o \"" + file.wstring() + L"\" --generated 1000000 --timeout 600");
  ASSERT_TRUE(host.started());
  // Typed without its extension: the dialog asks about the file the name becomes.
  AnswerSaveDialog(host, scratch_ / "held", L"untitled.dae", true);
  const ProgressSeen seen = WatchProgress(host);
  EXPECT_TRUE(seen.hostDisabled);
  EXPECT_EQ(seen.texts.count("Collecting the drawing..."), 1u);
  EXPECT_EQ(seen.texts.count("Preparing objects and textures..."), 1u) << "the steps up to the write";
  const HWND box = WaitForWindow(host.id(), L"Ombrel TideLink - File not written");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(Narrow(TextOf(GetDlgItem(box, kMessageText))).rfind("Your drawing could not be saved as:\n" + Narrow(file.wstring()), 0),
            0u);
  ExpectMessageBoxAndPressOk(host, L"File not written");
  EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(HostWindowOf(host.id())) != FALSE; }));
  EXPECT_EQ(FindWindowOf(host.id(), L"Ombrel TideLink export"), nullptr);
  CloseHost(host);
  CloseHandle(held);
  std::ifstream kept(file, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), earlier);
}

TEST_F(ExportTest, TheProgressTextFollowsTheExportOfALargeDrawing) {
  const fs::path file = scratch_ / "large.dae";
  HostProcess host(L"export -o \"" + file.wstring() + L"\" --generated 1000000 --timeout 600");
  ASSERT_TRUE(host.started());
  AnswerSaveDialog(host, file, L"untitled.dae");
  const ProgressSeen seen = WatchProgress(host);
  EXPECT_TRUE(seen.hostDisabled);
  EXPECT_EQ(seen.texts, (std::set<std::string>{"Collecting the drawing...", "Preparing objects and textures...",
                                                "Writing the COLLADA file..."}));
  ExpectMessageBoxAndPressOk(host, L"Export complete");
  EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(HostWindowOf(host.id())) != FALSE; }));
  EXPECT_EQ(CloseHost(host), 0u);
}

}  // namespace

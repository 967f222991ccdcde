#include "platform/MessageWindow.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/DebugOutput.h"
#include "platform/ProcessList.h"
#include "platform/TextConversion.h"

namespace platform {
namespace {

// The datagram a posted message travels in; fixed size so that a short read is a bad one.
struct MessagePacket {
  uint32_t message;
  uint32_t reserved;
  uint64_t wParam;
  int64_t lParam;
};
static_assert(sizeof(MessagePacket) == 24);

std::string RuntimeDirectory() {
  if (const char* configured = std::getenv("TIDELINK_RUNTIME_DIR"); configured && *configured) {
    return configured;
  }
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
    return std::string(runtime) + "/tidelink";
  }
  return "/tmp/tidelink-" + std::to_string(getuid());
}

// Another user who could write into the folder could remove or replace the windows in it.
bool IsPrivateFolder(const std::string& directory) {
  struct stat status {};
  return lstat(directory.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
         status.st_uid == geteuid() && (status.st_mode & 0777) == 0700;
}

bool EnsureRuntimeDirectory(const std::string& directory) {
  if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return false;
  if (IsPrivateFolder(directory)) return true;
  OutputDebugText(u"message windows: " + Utf16FromUtf8(directory) +
                  u" is not a folder of this user's alone (mode 0700); no window is opened there\n");
  return false;
}

// Handles are creation times in nanoseconds, so that sorting them gives the creation order across
// processes; a clash is resolved by taking the next free number.
std::string WindowName(WindowHandle window) {
  char name[20];
  std::snprintf(name, sizeof(name), "w%016llx", static_cast<unsigned long long>(window));
  return name;
}

std::string SocketPath(WindowHandle window) { return RuntimeDirectory() + "/" + WindowName(window); }
std::string AttributePath(WindowHandle window) { return SocketPath(window) + ".attr"; }

// Field 22 of /proc/PID/stat: the start time, which tells a process from a later one that reuses
// its id. Nothing for a process that is gone or a zombie.
std::optional<uint64_t> ProcessStartTime(uint32_t processId) {
  std::ifstream stat("/proc/" + std::to_string(processId) + "/stat");
  std::string content((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t commandEnd = content.rfind(')');
  if (commandEnd == std::string::npos) return std::nullopt;
  std::istringstream fields(content.substr(commandEnd + 1));
  std::string state;
  fields >> state;
  if (state == "Z" || state == "X") return std::nullopt;
  std::string skipped;
  for (int field = 4; field < 22; ++field) fields >> skipped;
  uint64_t startTime = 0;
  if (!(fields >> startTime)) return std::nullopt;
  return startTime;
}

std::string EscapeLine(std::u16string_view text) {
  std::string escaped;
  for (char character : Utf8FromUtf16(text)) {
    if (character == '\\') escaped += "\\\\";
    else if (character == '\n') escaped += "\\n";
    else escaped += character;
  }
  return escaped;
}

std::u16string UnescapeLine(std::string_view text) {
  std::string plain;
  for (size_t index = 0; index < text.size(); ++index) {
    if (text[index] == '\\' && index + 1 < text.size()) {
      plain += text[++index] == 'n' ? '\n' : text[index];
    } else {
      plain += text[index];
    }
  }
  return Utf16FromUtf8(plain);
}

struct StoredAttributes {
  WindowAttributes attributes;
  uint64_t processStartTime = 0;
};

bool WriteAttributes(WindowHandle window, const WindowAttributes& attributes, uint64_t startTime) {
  const std::string path = AttributePath(window);
  const std::string temporary = path + ".new";
  std::ostringstream text;
  text << "pid=" << attributes.processId << '\n'
       << "start=" << startTime << '\n'
       << "owner=" << attributes.owner << '\n'
       << "visible=" << (attributes.visible ? 1 : 0) << '\n'
       << "class=" << EscapeLine(attributes.className) << '\n'
       << "title=" << EscapeLine(attributes.title) << '\n';
  const std::string content = text.str();
  const int file = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (file < 0) return false;
  const bool written = write(file, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  close(file);
  // Readers never see a half-written file.
  return written && std::rename(temporary.c_str(), path.c_str()) == 0;
}

std::optional<StoredAttributes> ReadAttributes(WindowHandle window) {
  std::ifstream file(AttributePath(window));
  if (!file) return std::nullopt;
  StoredAttributes stored;
  int fieldsSeen = 0;
  std::string line;
  while (std::getline(file, line)) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    const uint64_t number = std::strtoull(value.c_str(), nullptr, 10);
    if (key == "pid") stored.attributes.processId = static_cast<uint32_t>(number);
    else if (key == "start") stored.processStartTime = number;
    else if (key == "owner") stored.attributes.owner = number;
    else if (key == "visible") stored.attributes.visible = number != 0;
    else if (key == "class") stored.attributes.className = UnescapeLine(value);
    else if (key == "title") stored.attributes.title = UnescapeLine(value);
    else continue;
    ++fieldsSeen;
  }
  if (fieldsSeen != 6) return std::nullopt;
  return stored;
}

bool IsLive(const StoredAttributes& stored) {
  const std::optional<uint64_t> startTime = ProcessStartTime(stored.attributes.processId);
  return startTime && *startTime == stored.processStartTime;
}

std::optional<WindowHandle> ParseWindowName(const char* name) {
  if (name[0] != 'w' || std::strlen(name) != 17) return std::nullopt;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(name + 1, &end, 16);
  if (*end != '\0' || value == 0) return std::nullopt;
  return value;
}

uint64_t NowNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

bool FillSocketAddress(const std::string& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof(address.sun_path)) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

struct MessageWindow::State {
  WindowHandle handle = 0;
  int socket = -1;
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

bool MessageWindow::Create(const WindowAttributes& requested, MessageWindow& window) {
  window.Destroy();
  const std::string directory = RuntimeDirectory();
  if (!EnsureRuntimeDirectory(directory)) return false;
  const std::optional<uint64_t> startTime = ProcessStartTime(GetCurrentProcessId());
  if (!startTime) return false;

  WindowAttributes attributes = requested;
  attributes.processId = GetCurrentProcessId();
  const int socketFd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (socketFd < 0) return false;

  for (WindowHandle handle = NowNanoseconds(), attempts = 0; attempts < 1000; ++handle, ++attempts) {
    sockaddr_un address;
    if (!FillSocketAddress(SocketPath(handle), address)) break;
    // Binding claims the handle: it fails when another window already took the name.
    if (bind(socketFd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
      if (errno == EADDRINUSE) continue;
      break;
    }
    if (chmod(address.sun_path, 0600) != 0 || !WriteAttributes(handle, attributes, *startTime)) {
      unlink(address.sun_path);
      break;
    }
    window.state_ = std::make_unique<State>(State{handle, socketFd});
    return true;
  }
  close(socketFd);
  return false;
}

WindowHandle MessageWindow::handle() const { return state_ ? state_->handle : 0; }

std::optional<WindowMessage> MessageWindow::Receive(std::chrono::milliseconds timeout) {
  if (!state_) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd waiting{state_->socket, POLLIN, 0};
    const int ready = poll(&waiting, 1, static_cast<int>(std::max<int64_t>(remaining.count(), 0)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return std::nullopt;
    MessagePacket packet{};
    const ssize_t received = recv(state_->socket, &packet, sizeof(packet), 0);
    // Anything that is not exactly one packet came from somebody else: drop it and keep waiting.
    if (received == static_cast<ssize_t>(sizeof(packet))) {
      return WindowMessage{packet.message, packet.wParam, packet.lParam};
    }
  }
}

void MessageWindow::Destroy() {
  if (!state_) return;
  unlink(AttributePath(state_->handle).c_str());
  unlink(SocketPath(state_->handle).c_str());
  close(state_->socket);
  state_.reset();
}

std::vector<WindowHandle> EnumerateWindows() {
  std::vector<WindowHandle> windows;
  const std::string folder = RuntimeDirectory();
  // Windows in a folder that others may write to could be anybody's.
  if (!IsPrivateFolder(folder)) return windows;
  DIR* directory = opendir(folder.c_str());
  if (!directory) return windows;
  while (const dirent* entry = readdir(directory)) {
    const std::optional<WindowHandle> window = ParseWindowName(entry->d_name);
    if (!window) continue;
    const std::optional<StoredAttributes> stored = ReadAttributes(*window);
    if (!stored) continue;  // being created, or not ours
    if (IsLive(*stored)) {
      windows.push_back(*window);
    } else {
      // Left behind by a process that ended without destroying its window.
      unlink(AttributePath(*window).c_str());
      unlink(SocketPath(*window).c_str());
    }
  }
  closedir(directory);
  std::sort(windows.begin(), windows.end());
  return windows;
}

std::optional<WindowAttributes> GetWindowAttributes(WindowHandle window) {
  if (window == 0) return std::nullopt;
  std::optional<StoredAttributes> stored = ReadAttributes(window);
  if (!stored || !IsLive(*stored)) return std::nullopt;
  return stored->attributes;
}

bool IsWindow(WindowHandle window) { return GetWindowAttributes(window).has_value(); }

bool PostWindowMessage(WindowHandle window, const WindowMessage& message) {
  if (!IsWindow(window)) return false;
  sockaddr_un address;
  if (!FillSocketAddress(SocketPath(window), address)) return false;
  const int socketFd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (socketFd < 0) return false;
  const MessagePacket packet{message.message, 0, message.wParam, message.lParam};
  const ssize_t sent = sendto(socketFd, &packet, sizeof(packet), MSG_NOSIGNAL,
                              reinterpret_cast<const sockaddr*>(&address), sizeof(address));
  close(socketFd);
  return sent == static_cast<ssize_t>(sizeof(packet));
}

}  // namespace platform

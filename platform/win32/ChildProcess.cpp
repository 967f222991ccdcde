#include "platform/ChildProcess.h"

#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/ProcessLaunch.h"

namespace platform {

struct ChildProcess::State {
  State(HANDLE process, DWORD processId, HANDLE output) : process(process), processId(processId), output(output) {}
  HANDLE process;
  DWORD processId;
  HANDLE output;  // read end of the captured output, or null
  bool terminated = false;  // ended by Terminate
  std::optional<int> status;

  ~State() {
    if (output) CloseHandle(output);
    if (process) CloseHandle(process);
  }
};

namespace {

// An inheritable copy of `handle`, or null for a missing or unusable one.
HANDLE InheritableCopy(HANDLE handle) {
  HANDLE copy = nullptr;
  if (!handle || handle == INVALID_HANDLE_VALUE ||
      !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

// The three standard handles a child gets; closed here once the child holds its own copies.
struct StandardHandles {
  HANDLE input = nullptr;
  HANDLE output = nullptr;
  HANDLE error = nullptr;

  ~StandardHandles() {
    for (HANDLE handle : {input, output, error}) {
      if (handle) CloseHandle(handle);
    }
  }
};

HANDLE OpenNullDevice() {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  const HANDLE device = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                    OPEN_EXISTING, 0, nullptr);
  return device == INVALID_HANDLE_VALUE ? nullptr : device;
}

// Creates the child with exactly `handles` inherited (a concurrent start elsewhere in the process
// must not pass our pipe on: it would hold the pipe open and the reader would never see its end).
bool CreateChild(std::u16string_view executable, std::u16string& commandLine, const StandardHandles& handles,
                 PROCESS_INFORMATION& started) {
  HANDLE inherited[3];
  DWORD count = 0;
  for (HANDLE handle : {handles.input, handles.output, handles.error}) {
    if (handle && std::find(inherited, inherited + count, handle) == inherited + count) inherited[count++] = handle;
  }
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> storage(size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
  if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size)) return false;
  const bool listed = count == 0 || UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                                              inherited, count * sizeof(HANDLE), nullptr, nullptr);
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof(startup);
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = handles.input;
  startup.StartupInfo.hStdOutput = handles.output;
  startup.StartupInfo.hStdError = handles.error;
  startup.lpAttributeList = count > 0 ? attributes : nullptr;
  const std::u16string program(executable);
  const bool created =
      listed && CreateProcessW(reinterpret_cast<const wchar_t*>(program.c_str()),
                               reinterpret_cast<wchar_t*>(commandLine.data()), nullptr, nullptr, count > 0,
                               EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr, &startup.StartupInfo, &started);
  DeleteProcThreadAttributeList(attributes);
  return created;
}

// Created or emptied, for the child to write to; null when it cannot be.
HANDLE CreateOutputFile(std::u16string_view path) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  const std::u16string name(path);
  const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(name.c_str()), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

// Starts the child with its output captured, sent to `outputFile` along with its errors, or (with
// neither) the caller's. Gives its process handle and id, and the read end of a captured output.
bool StartWithCommandLine(std::u16string_view executable, std::u16string commandLine, bool captureOutput,
                          std::u16string_view outputFile, PROCESS_INFORMATION& started, HANDLE& output) {
  StandardHandles handles;
  handles.input = OpenNullDevice();
  if (captureOutput) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    if (!CreatePipe(&output, &handles.output, &inherit, 0)) return false;
    // Only the child's end is inherited.
    SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
    handles.error = InheritableCopy(GetStdHandle(STD_ERROR_HANDLE));
  } else if (!outputFile.empty()) {
    handles.output = CreateOutputFile(outputFile);
    if (!handles.output) return false;
    // A copy shares the file's position, so output and errors land in the order written.
    handles.error = InheritableCopy(handles.output);
  } else {
    handles.output = InheritableCopy(GetStdHandle(STD_OUTPUT_HANDLE));
    handles.error = InheritableCopy(GetStdHandle(STD_ERROR_HANDLE));
  }
  if (CreateChild(executable, commandLine, handles, started)) {
    CloseHandle(started.hThread);
    return true;
  }
  if (output) CloseHandle(output);
  output = nullptr;
  return false;
}

// The program's name in quotes (it knows no escapes; a Windows path holds no quote), then each
// argument quoted so that the child's C runtime splits it back unchanged.
std::u16string CommandLineOf(std::u16string_view executable, const std::vector<std::u16string>& arguments) {
  std::u16string line(1, u'"');
  line.append(executable);
  line += u'"';
  for (const std::u16string& argument : arguments) {
    line += u' ';
    line += QuoteArgument(argument);
  }
  return line;
}

std::u16string CommandInterpreter() {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return u"C:\\Windows\\System32\\cmd.exe";
  return std::u16string(reinterpret_cast<const char16_t*>(folder), length) + u"\\cmd.exe";
}

// Posts WM_CLOSE to each top-level window of `processId`; the number of windows it reached.
size_t PostCloseToWindowsOf(DWORD processId) {
  struct Search {
    DWORD processId;
    size_t posted;
  } search{processId, 0};
  EnumWindows(
      [](HWND window, LPARAM parameter) -> BOOL {
        auto& found = *reinterpret_cast<Search*>(parameter);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == found.processId && PostMessageW(window, WM_CLOSE, 0, 0)) ++found.posted;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.posted;
}

}  // namespace

ChildProcess::ChildProcess() = default;

ChildProcess::~ChildProcess() {
  if (state_ && state_->process && !state_->status) {
    Terminate();
    WaitForSingleObject(state_->process, INFINITE);
  }
}

ChildProcess::ChildProcess(ChildProcess&&) noexcept = default;

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    ChildProcess ended(std::move(*this));
    state_ = std::move(other.state_);
  }
  return *this;
}

bool ChildProcess::Begin(std::u16string_view executable, const std::vector<std::u16string>& arguments,
                         bool captureOutput, std::u16string_view outputFile, ChildProcess& child) {
  child = ChildProcess();
  PROCESS_INFORMATION started{};
  HANDLE output = nullptr;
  if (!StartWithCommandLine(executable, CommandLineOf(executable, arguments), captureOutput, outputFile, started,
                            output)) {
    return false;
  }
  child.state_ = std::make_unique<State>(started.hProcess, started.dwProcessId, output);
  return true;
}

bool ChildProcess::StartCommand(std::u16string_view commandLine, bool captureOutput, ChildProcess& child) {
  child = ChildProcess();
  const std::u16string interpreter = CommandInterpreter();
  // /s takes the outer quotes away and leaves the line between them exactly as given; /d skips
  // the user's AutoRun commands.
  std::u16string line = CommandLineOf(interpreter, {});
  line += u" /d /s /c \"";
  line.append(commandLine);
  line += u'"';
  PROCESS_INFORMATION started{};
  HANDLE output = nullptr;
  if (!StartWithCommandLine(interpreter, std::move(line), captureOutput, {}, started, output)) return false;
  child.state_ = std::make_unique<State>(started.hProcess, started.dwProcessId, output);
  return true;
}

uint32_t ChildProcess::processId() const { return state_ ? state_->processId : 0; }

size_t ChildProcess::ReadOutput(char* buffer, size_t size) {
  if (!state_ || !state_->output || size == 0) return 0;
  DWORD count = 0;
  // A broken pipe is the end of the output: every writer has closed its end.
  if (!ReadFile(state_->output, buffer, static_cast<DWORD>(std::min<size_t>(size, MAXDWORD)), &count, nullptr)) {
    return 0;
  }
  return count;
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
  if (!state_ || !state_->process) return std::nullopt;
  if (state_->status) return state_->status;
  // INFINITE is one past the longest bounded wait.
  const DWORD bound = static_cast<DWORD>(std::clamp<int64_t>(timeout.count(), 0, INFINITE - 1));
  if (WaitForSingleObject(state_->process, bound) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(state_->process, &code)) return std::nullopt;
  state_->status = state_->terminated ? kExitStatusTerminated : static_cast<int>(code);
  return state_->status;
}

bool ChildProcess::Terminate() {
  if (!state_ || !state_->process || state_->status) return false;
  // Fails with access denied once the process has ended by itself.
  if (!TerminateProcess(state_->process, 1)) return false;
  state_->terminated = true;
  return true;
}

bool RequestProcessStop(uint32_t processId) {
  if (processId == 0) return false;
  return PostCloseToWindowsOf(processId) > 0;
}

bool KillProcess(uint32_t processId) {
  if (processId == 0) return false;
  const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, processId);
  if (!process) return false;
  const bool ended = TerminateProcess(process, 1);
  CloseHandle(process);
  return ended;
}

}  // namespace platform

#include "platform/SharedMemory.h"

#include <windows.h>

#include <cstring>

#include "platform/win32/SharedMemoryObjects.h"
#include "platform/win32/Wide.h"

// A mapping is two named page-file sections: the document's own, exactly as the caller sized it,
// and a small creator record beside it (who created the document, and whether it has closed it).
//
// Why the creator's end is seen this way: a named object's name lives as long as some handle to
// it is open, not as long as its views. Readers therefore close both handles as soon as they have
// mapped the views, so that the names belong to the creator alone: when it closes them or its
// process ends, however it ends, the names go, the next Open finds nothing (2) and the next
// Create makes a fresh, zeroed document, while readers keep their views of the old bytes. A reader
// tells whether the creator still has the document from the record it maps: the flag the creator
// sets when it closes, and a handle to the creator's process (checked against the process's start
// time, so that a reused process id is not taken for the creator). A named mutex was the other
// choice, but a mutex belongs to a thread and would count as abandoned when the thread that
// created the document ends, while the process, and the document, live on; and a reader holding
// the mutex would keep its name for the next creator of the document, which could then not be
// told from the one that ended.
namespace platform {
namespace {

// Names the kernel takes, in units; longer ones are hashed (a name holds at most 32767 units,
// including the session's own prefix).
constexpr size_t kLongestObjectName = 32000;
constexpr std::u16string_view kEscapedPrefix = u"TideLink.Escaped:";
constexpr std::u16string_view kHashedPrefix = u"TideLink.Hashed:";
constexpr std::u16string_view kCreatorSuffix = u"|TideLink.Creator";
// A reader of the previous creator may hold the names for the moment between opening and mapping.
constexpr int kCreateAttempts = 50;

struct CreatorRecord {
  DWORD processId;
  DWORD reserved;
  uint64_t processStart;  // FILETIME of the creator process's start
  volatile LONG closed;   // set by the creator when it closes the document
};

void AppendHex(std::u16string& text, uint64_t value, int digits) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xF];
}

uint64_t Fnv1a(std::u16string_view text) {
  uint64_t hash = 0xCBF29CE484222325u;
  for (char16_t unit : text) {
    for (uint64_t byte : {uint64_t{unit} & 0xFF, uint64_t{unit} >> 8}) hash = (hash ^ byte) * 0x100000001B3u;
  }
  return hash;
}

uint64_t ProcessStart(HANDLE process) {
  FILETIME start{}, end{}, kernel{}, user{};
  if (!GetProcessTimes(process, &start, &end, &kernel, &user)) return 0;
  return (uint64_t{start.dwHighDateTime} << 32) | start.dwLowDateTime;
}

// Whether the process a record names is still its creator (its start time tells a reused process
// id apart), with a handle to watch it by. A process of another integrity level may refuse to be
// looked at: it counts as living then, without a handle, and only its closing shows.
struct CreatorWatch {
  bool living = false;
  HANDLE process = nullptr;
};

CreatorWatch WatchCreator(const CreatorRecord& record) {
  if (record.processId == 0) return {};
  const HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, record.processId);
  if (!process) return {GetLastError() == ERROR_ACCESS_DENIED, nullptr};
  if (ProcessStart(process) != record.processStart || WaitForSingleObject(process, 0) != WAIT_TIMEOUT) {
    CloseHandle(process);
    return {};
  }
  return {true, process};
}

// Readers map the record read-only, so the flag is read with a plain volatile load: an interlocked
// call would write to the page, even when it changes nothing.
bool IsClosed(const CreatorRecord& record) { return record.closed != 0; }

bool IsRecordLive(const CreatorRecord& record) {
  if (IsClosed(record)) return false;
  const CreatorWatch watch = WatchCreator(record);
  if (watch.process) CloseHandle(watch.process);
  return watch.living;
}

struct View {
  HANDLE handle = nullptr;
  void* data = nullptr;
};

void Release(View& view) {
  if (view.data) UnmapViewOfFile(view.data);
  if (view.handle) CloseHandle(view.handle);
  view = {};
}

// Creates the named section; 183 when the name is taken by a section that was already there.
int32_t CreateSection(const std::u16string& objectName, uint64_t size, View& view) {
  const std::wstring name = win32::WideText(objectName);
  view.handle = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                   static_cast<DWORD>(size >> 32), static_cast<DWORD>(size), name.c_str());
  if (!view.handle) return static_cast<int32_t>(GetLastError());
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    Release(view);
    return kErrorAlreadyExists;
  }
  view.data = MapViewOfFile(view.handle, FILE_MAP_ALL_ACCESS, 0, 0, static_cast<SIZE_T>(size));
  if (!view.data) {
    const int32_t error = static_cast<int32_t>(GetLastError());
    Release(view);
    return error;
  }
  return kErrorSuccess;
}

// Maps the whole of an existing section; its handle is closed again, see above.
int32_t OpenSection(const std::u16string& objectName, DWORD access, View& view) {
  const std::wstring name = win32::WideText(objectName);
  view.handle = OpenFileMappingW(access, FALSE, name.c_str());
  if (!view.handle) return static_cast<int32_t>(GetLastError());
  view.data = MapViewOfFile(view.handle, access, 0, 0, 0);
  const int32_t error = view.data ? kErrorSuccess : static_cast<int32_t>(GetLastError());
  CloseHandle(view.handle);
  view.handle = nullptr;
  if (error) Release(view);
  return error;
}

// Whether a creator record of this name belongs to a living creator; false when there is none.
bool IsHeldByLivingCreator(const std::u16string& creatorName) {
  View record;
  if (OpenSection(creatorName, FILE_MAP_READ, record) != kErrorSuccess) return false;
  const bool live = IsRecordLive(*static_cast<const CreatorRecord*>(record.data));
  Release(record);
  return live;
}

// Creates the record, then the document. A name still held for a moment by a reader of an ended
// creator is waited for; one of a living creator gives 183 at once.
int32_t CreateSections(std::u16string_view name, size_t size, View& record, View& document) {
  const std::u16string creatorName = win32::SharedMemoryCreatorName(name);
  const std::u16string objectName = win32::SharedMemoryObjectName(name);
  int32_t error = kErrorAlreadyExists;
  for (int attempt = 0; attempt < kCreateAttempts && error == kErrorAlreadyExists; ++attempt) {
    if (attempt > 0) Sleep(1);
    error = CreateSection(creatorName, sizeof(CreatorRecord), record);
    if (error == kErrorAlreadyExists && IsHeldByLivingCreator(creatorName)) return kErrorAlreadyExists;
    if (error == kErrorSuccess) {
      error = CreateSection(objectName, size, document);
      if (error != kErrorSuccess) Release(record);
    }
  }
  return error;
}

}  // namespace

std::u16string win32::SharedMemoryObjectName(std::u16string_view name) {
  std::u16string objectName;
  if (name.find(u'\\') == std::u16string_view::npos && name.find(u'\0') == std::u16string_view::npos) {
    objectName = name;
  } else {
    objectName = kEscapedPrefix;
    for (char16_t unit : name) {
      if (unit == u'\\' || unit == u'%' || unit == u'\0') {
        objectName += u'%';
        AppendHex(objectName, unit, 4);
      } else {
        objectName += unit;
      }
    }
  }
  if (objectName.size() + kCreatorSuffix.size() > kLongestObjectName) {
    objectName = kHashedPrefix;
    AppendHex(objectName, Fnv1a(name), 16);
  }
  return objectName;
}

std::u16string win32::SharedMemoryCreatorName(std::u16string_view name) {
  return SharedMemoryObjectName(name) + std::u16string(kCreatorSuffix);
}

struct SharedMemory::State {
  View document;
  View record;  // the creator record; its handle is kept by the creator only
  size_t size = 0;
  bool creator = false;
  HANDLE creatorProcess = nullptr;  // a reader's handle to the creator's process, when it may have one
};

SharedMemory::SharedMemory() = default;
SharedMemory::~SharedMemory() { Close(); }
SharedMemory::SharedMemory(SharedMemory&&) noexcept = default;
SharedMemory& SharedMemory::operator=(SharedMemory&& other) noexcept {
  if (this != &other) {
    Close();
    state_ = std::move(other.state_);
  }
  return *this;
}

int32_t SharedMemory::Create(std::u16string_view name, size_t size, SharedMemory& mapping) {
  mapping.Close();
  if (size == 0) return kErrorInvalidParameter;
  auto state = std::make_unique<State>();
  if (const int32_t error = CreateSections(name, size, state->record, state->document)) return error;
  // A page-file section starts zeroed, the record included; readers that find a record without a
  // process id take the document as not yet there.
  auto* record = static_cast<CreatorRecord*>(state->record.data);
  record->processStart = ProcessStart(GetCurrentProcess());
  InterlockedExchange(reinterpret_cast<volatile LONG*>(&record->processId),
                      static_cast<LONG>(GetCurrentProcessId()));
  state->size = size;
  state->creator = true;
  mapping.state_ = std::move(state);
  return kErrorSuccess;
}

int32_t SharedMemory::Open(std::u16string_view name, SharedMemory& mapping) {
  mapping.Close();
  auto state = std::make_unique<State>();
  if (const int32_t error = OpenSection(win32::SharedMemoryCreatorName(name), FILE_MAP_READ, state->record)) {
    return error;
  }
  const auto& record = *static_cast<const CreatorRecord*>(state->record.data);
  const CreatorWatch watch = WatchCreator(record);
  state->creatorProcess = watch.process;
  if (!watch.living || IsClosed(record)) {
    mapping.state_ = std::move(state);
    mapping.Close();
    return kErrorFileNotFound;
  }
  if (const int32_t error = OpenSection(win32::SharedMemoryObjectName(name), FILE_MAP_ALL_ACCESS, state->document)) {
    mapping.state_ = std::move(state);
    mapping.Close();
    return error;
  }
  MEMORY_BASIC_INFORMATION region{};
  VirtualQuery(state->document.data, &region, sizeof(region));
  state->size = region.RegionSize;
  mapping.state_ = std::move(state);
  return kErrorSuccess;
}

void* SharedMemory::data() const { return state_ ? state_->document.data : nullptr; }
size_t SharedMemory::size() const { return state_ ? state_->size : 0; }
bool SharedMemory::IsMapped() const { return state_ != nullptr; }

bool SharedMemory::IsCreatorAlive() const {
  if (!state_) return false;
  if (state_->creator) return true;
  const auto& record = *static_cast<const CreatorRecord*>(state_->record.data);
  return !IsClosed(record) &&
         (!state_->creatorProcess || WaitForSingleObject(state_->creatorProcess, 0) == WAIT_TIMEOUT);
}

void SharedMemory::Close() {
  if (!state_) return;
  if (state_->creator && state_->record.data) {
    InterlockedExchange(&static_cast<CreatorRecord*>(state_->record.data)->closed, 1);
  }
  Release(state_->document);
  Release(state_->record);
  if (state_->creatorProcess) CloseHandle(state_->creatorProcess);
  state_.reset();
}

}  // namespace platform

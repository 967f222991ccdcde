#include "platform/SharedMemory.h"

#include "platform/posix/SharedMemoryObjects.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr size_t kMaximumObjectNameLength = 200;
constexpr size_t kHashDigits = 16;
// An unclaimed object younger than this may be one whose creator has not yet claimed it.
constexpr time_t kCreationGraceSeconds = 1;
// Each round removes one abandoned object; another process creating the name in between wins.
constexpr int kCreateAttempts = 3;
constexpr char kSharedMemoryFolder[] = "/dev/shm";

int32_t ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT: return kErrorFileNotFound;
    case EACCES:
    case EPERM: return kErrorAccessDenied;
    case ENOMEM:
    case ENOSPC:
    case EFBIG: return kErrorNotEnoughMemory;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case EINVAL:
    case ENAMETOOLONG: return kErrorInvalidParameter;
    default: return kErrorGeneralFailure;
  }
}

bool IsPlainCharacter(char16_t unit) {
  return (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z') ||
         (unit >= u'0' && unit <= u'9') || unit == u'-' || unit == u'_' || unit == u'.';
}

void AppendHex(std::string& text, uint64_t value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xF];
}

uint64_t Fnv1a(std::u16string_view text) {
  uint64_t hash = 0xCBF29CE484222325u;
  for (char16_t unit : text) {
    for (uint64_t byte : {uint64_t{unit} & 0xFF, uint64_t{unit} >> 8}) {
      hash = (hash ^ byte) * 0x100000001B3u;
    }
  }
  return hash;
}

bool SameObject(int descriptor, const std::string& objectName) {
  const int current = shm_open(objectName.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (current < 0) return false;
  struct stat mine, named;
  const bool same = fstat(descriptor, &mine) == 0 && fstat(current, &named) == 0 &&
                    mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
  close(current);
  return same;
}

// The creator's claim on its object: a write lock on the first byte, owned by the creator's own
// open description, so that the system drops it when the creator ends, however it ends. Readers
// hold no lock, so a crashed creator's object is recognised even while a reader still maps it.
bool ClaimAsCreator(int descriptor) {
  struct flock claim = {};
  claim.l_type = F_WRLCK;
  claim.l_whence = SEEK_SET;
  claim.l_len = 1;
  return fcntl(descriptor, F_OFD_SETLK, &claim) == 0;
}

// True while the creator of the object behind `descriptor` (a description other than its own)
// still has it; an object whose claim cannot be read counts as claimed.
bool IsClaimed(int descriptor) {
  struct flock probe = {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_len = 1;
  if (fcntl(descriptor, F_OFD_GETLK, &probe) != 0) return true;
  return probe.l_type != F_UNLCK;
}

enum class Removal { kNameFree, kRemoved, kKept };

// Removes the object of this name when its creator has ended and it is not being created. Only
// the user's own objects are looked at: another user's could share the name only through root.
Removal RemoveIfAbandoned(const std::string& objectName) {
  const int descriptor = shm_open(objectName.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (descriptor < 0) return errno == ENOENT ? Removal::kNameFree : Removal::kKept;
  Removal result = Removal::kKept;
  struct stat status;
  if (fstat(descriptor, &status) == 0 && status.st_uid == geteuid() && !IsClaimed(descriptor) &&
      (status.st_size > 0 || time(nullptr) - status.st_ctime >= kCreationGraceSeconds) &&
      SameObject(descriptor, objectName)) {
    if (shm_unlink(objectName.c_str()) == 0) {
      result = Removal::kRemoved;
    } else if (errno == ENOENT) {
      result = Removal::kNameFree;
    }
  }
  close(descriptor);
  return result;
}

std::string UserPrefix() { return "tidelink." + std::to_string(geteuid()) + "."; }

// Mappings this process created and still has: the sweep of abandoned objects runs when there are
// none, which is when a document opens, not at every segment.
std::atomic<size_t> createdMappings{0};

}  // namespace

std::string posix::SharedMemoryObjectName(std::u16string_view name) {
  // Shared memory names are machine-wide here, while Windows keeps them per logged-on user: the
  // user id gives each user a namespace of their own, which all programs of that user share.
  std::string objectName = '/' + UserPrefix();
  for (char16_t unit : name) {
    if (IsPlainCharacter(unit)) {
      objectName += static_cast<char>(unit);
    } else {
      objectName += '%';
      AppendHex(objectName, unit, 4);
    }
  }
  if (objectName.size() > kMaximumObjectNameLength) {
    objectName.resize(kMaximumObjectNameLength - kHashDigits - 1);
    objectName += '#';
    AppendHex(objectName, Fnv1a(name), kHashDigits);
  }
  return objectName;
}

size_t posix::RemoveAbandonedSharedMemory() {
  DIR* folder = opendir(kSharedMemoryFolder);
  if (!folder) return 0;
  std::vector<std::string> candidates;
  const std::string prefix = UserPrefix();
  while (const dirent* entry = readdir(folder)) {
    if (std::string_view(entry->d_name).starts_with(prefix)) candidates.push_back('/' + std::string(entry->d_name));
  }
  closedir(folder);
  size_t removed = 0;
  for (const std::string& objectName : candidates) {
    if (RemoveIfAbandoned(objectName) == Removal::kRemoved) ++removed;
  }
  return removed;
}

struct SharedMemory::State {
  int descriptor = -1;
  void* data = nullptr;
  size_t size = 0;
  std::string objectName;
  bool creator = false;
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
  if (createdMappings.load() == 0) posix::RemoveAbandonedSharedMemory();
  const std::string objectName = posix::SharedMemoryObjectName(name);
  int descriptor = -1;
  for (int attempt = 0; attempt < kCreateAttempts && descriptor < 0; ++attempt) {
    descriptor = shm_open(objectName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0 && errno != EEXIST) return ErrorFromErrno(errno);
    if (descriptor < 0 && RemoveIfAbandoned(objectName) == Removal::kKept) return kErrorAlreadyExists;
  }
  if (descriptor < 0) return kErrorAlreadyExists;

  void* data = MAP_FAILED;
  // Every page is reserved now: a sparse object on a full /dev/shm would map fine and then kill
  // the process with SIGBUS at its first write. Exhausted memory is an error of the creation.
  int error = ClaimAsCreator(descriptor) ? posix_fallocate(descriptor, 0, static_cast<off_t>(size)) : errno;
  if (error == 0) {
    data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    if (data == MAP_FAILED) error = errno;
  }
  if (data == MAP_FAILED) {
    shm_unlink(objectName.c_str());
    close(descriptor);
    return ErrorFromErrno(error);
  }
  mapping.state_ = std::make_unique<State>(State{descriptor, data, size, objectName, true});
  ++createdMappings;
  return 0;
}

int32_t SharedMemory::Open(std::u16string_view name, SharedMemory& mapping) {
  mapping.Close();
  const std::string objectName = posix::SharedMemoryObjectName(name);
  const int descriptor = shm_open(objectName.c_str(), O_RDWR | O_CLOEXEC, 0);
  if (descriptor < 0) return ErrorFromErrno(errno);
  struct stat status;
  // An object whose creator has ended is abandoned, whoever else still maps it.
  if (!IsClaimed(descriptor) || fstat(descriptor, &status) != 0 || status.st_size <= 0) {
    close(descriptor);
    return kErrorFileNotFound;
  }
  const size_t size = static_cast<size_t>(status.st_size);
  void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
  if (data == MAP_FAILED) {
    const int32_t error = ErrorFromErrno(errno);
    close(descriptor);
    return error;
  }
  mapping.state_ = std::make_unique<State>(State{descriptor, data, size, objectName, false});
  return 0;
}

void* SharedMemory::data() const { return state_ ? state_->data : nullptr; }
size_t SharedMemory::size() const { return state_ ? state_->size : 0; }
bool SharedMemory::IsMapped() const { return state_ != nullptr; }

bool SharedMemory::IsCreatorAlive() const {
  if (!state_) return false;
  return state_->creator || IsClaimed(state_->descriptor);
}

void SharedMemory::Close() {
  if (!state_) return;
  munmap(state_->data, state_->size);
  // Another process may have recovered the name after a crash; its object is not ours to remove.
  if (state_->creator && SameObject(state_->descriptor, state_->objectName)) {
    shm_unlink(state_->objectName.c_str());
  }
  if (state_->creator) --createdMappings;
  close(state_->descriptor);
  state_.reset();
}

}  // namespace platform

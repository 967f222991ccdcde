#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/TextConversion.h"

namespace platform {

namespace {

// Seconds from 1601-01-01 (FILETIME's epoch) to 1970-01-01 (the Unix epoch).
constexpr int64_t kEpochDifferenceSeconds = 11644473600;
constexpr int64_t kIntervalsPerSecond = 10'000'000;

// A path with an embedded zero would name a different file once handed to the system, so it
// names none.
std::optional<std::string> NativePath(std::u16string_view path) {
  if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return std::nullopt;
  return Utf8FromUtf16(path);
}

uint64_t FileTimeFromTimespec(const timespec& time) {
  const int64_t seconds = static_cast<int64_t>(time.tv_sec) + kEpochDifferenceSeconds;
  if (seconds < 0) return 0;
  return static_cast<uint64_t>(seconds) * kIntervalsPerSecond +
         static_cast<uint64_t>(time.tv_nsec) / 100;
}

bool WriteAll(int descriptor, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(descriptor, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool CopyContents(int source, int target) {
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t count = read(source, buffer, sizeof(buffer));
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (count == 0) return true;
    if (!WriteAll(target, buffer, static_cast<size_t>(count))) return false;
  }
}

}  // namespace

std::optional<FileAttributes> QueryFileAttributes(std::u16string_view path) {
  const auto native = NativePath(path);
  struct stat status;
  if (!native || stat(native->c_str(), &status) != 0) return std::nullopt;
  FileAttributes attributes;
  attributes.isDirectory = S_ISDIR(status.st_mode);
  attributes.isRegularFile = S_ISREG(status.st_mode);
  // Windows reports no size for a directory.
  attributes.size = attributes.isDirectory ? 0 : static_cast<uint64_t>(status.st_size);
  attributes.lastWriteTime = FileTimeFromTimespec(status.st_mtim);
  return attributes;
}

bool CopyFileReplacing(std::u16string_view from, std::u16string_view to) {
  const auto source = NativePath(from);
  const auto target = NativePath(to);
  if (!source || !target) return false;
  const int input = open(source->c_str(), O_RDONLY | O_CLOEXEC);
  if (input < 0) return false;
  struct stat status;
  if (fstat(input, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(input);
    return false;
  }
  // The copy is built under a temporary name beside the target and renamed over it only when
  // complete, so that a failed copy leaves the old target (or none) and never a partial file.
  std::string temporary = *target + ".tmp-XXXXXX";
  const int output = mkostemp(temporary.data(), O_CLOEXEC);
  if (output < 0) {
    close(input);
    return false;
  }
  // Like the Windows copy, the target keeps the source's permissions and last-write time.
  const timespec times[2] = {status.st_atim, status.st_mtim};
  bool copied = CopyContents(input, output) && fchmod(output, status.st_mode & 07777) == 0 &&
                futimens(output, times) == 0;
  copied = (close(output) == 0) && copied;
  close(input);
  if (copied && rename(temporary.c_str(), target->c_str()) == 0) return true;
  unlink(temporary.c_str());
  return false;
}

bool MakeDirectory(std::u16string_view path) {
  const auto native = NativePath(path);
  if (!native) return false;
  if (mkdir(native->c_str(), 0777) == 0) return true;
  struct stat status;
  return errno == EEXIST && stat(native->c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool RemoveFile(std::u16string_view path) {
  const auto native = NativePath(path);
  return native && unlink(native->c_str()) == 0;
}

bool RemoveEmptyDirectory(std::u16string_view path) {
  const auto native = NativePath(path);
  return native && rmdir(native->c_str()) == 0;
}

std::FILE* OpenFile(std::u16string_view path, FileOpenMode mode) {
  const auto native = NativePath(path);
  if (!native) return nullptr;
  // "e": the descriptor is not inherited by the programs the plug-in starts.
  const char* const modes[] = {"rbe", "wbe", "abe"};
  return std::fopen(native->c_str(), modes[static_cast<int>(mode)]);
}

}  // namespace platform

#include "export/TextModeFile.h"

#include <cerrno>
#include <cstring>

#include "platform/FileSystem.h"

namespace {

// Large enough that a whole node's short fragments go out in one system call.
constexpr size_t kBufferSize = 1 << 20;

}  // namespace

TextModeFile::~TextModeFile() { Close(); }

bool TextModeFile::Open(std::u16string_view path) {
  Close();
  failed_ = false;
  error_ = 0;
  errno = 0;
  // Binary: the line ends are translated here, the same on every platform.
  file_ = platform::OpenFile(path, platform::FileOpenMode::kReplace);
  if (!file_) {
    // A path the system was never asked about (empty, or with a zero unit) has no code of its own.
    error_ = errno ? errno : EINVAL;
    return false;
  }
  std::setvbuf(file_, nullptr, _IOFBF, kBufferSize);
  return true;
}

void TextModeFile::WriteBytes(const char* data, size_t size) {
  if (size > 0 && std::fwrite(data, 1, size, file_) != size) Fail();
}

void TextModeFile::Fail() {
  if (!failed_) error_ = errno;
  failed_ = true;
}

void TextModeFile::Write(std::string_view text) {
  if (!file_ || text.empty()) return;
  const char* at = text.data();
  const char* const end = at + text.size();
  while (const char* lineEnd = static_cast<const char*>(std::memchr(at, '\n', end - at))) {
    WriteBytes(at, lineEnd - at);
    WriteBytes("\r\n", 2);
    at = lineEnd + 1;
  }
  WriteBytes(at, end - at);
}

void TextModeFile::Write(std::initializer_list<std::string_view> pieces) {
  for (const std::string_view piece : pieces) Write(piece);
}

bool TextModeFile::Close() {
  if (!file_) return false;
  errno = 0;
  if (std::fflush(file_) != 0) Fail();
  errno = 0;
  if (std::fclose(file_) != 0) Fail();
  file_ = nullptr;
  return !failed_;
}

#include "export/TextModeFile.h"

#include <cerrno>
#include <cstring>

#include "platform/TextConversion.h"

namespace {

// Large enough that a whole node's short fragments go out in one system call.
constexpr size_t kBufferSize = 1 << 20;

}  // namespace

TextModeFile::~TextModeFile() { Close(); }

bool TextModeFile::Open(std::u16string_view path) {
  Close();
  failed_ = false;
  error_ = 0;
  const std::string nativePath = platform::Utf8FromUtf16(path);
  // A path with an embedded zero would name another file.
  if (nativePath.empty() || nativePath.find('\0') != std::string::npos) {
    error_ = EINVAL;
    return false;
  }
  errno = 0;
  file_ = std::fopen(nativePath.c_str(), "wb");
  if (!file_) {
    error_ = errno;
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

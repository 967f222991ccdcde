#pragma once

#include <cstdio>
#include <initializer_list>
#include <string_view>

// An output file written as a Windows text-mode stream writes it: every "\n" becomes CR LF, bytes
// are otherwise kept (UTF-8 goes out as it is, without a byte-order mark). Buffered; a failed
// write is remembered rather than thrown, and reported by Close with the system's error code.
class TextModeFile {
public:
  TextModeFile() = default;
  TextModeFile(const TextModeFile&) = delete;
  TextModeFile& operator=(const TextModeFile&) = delete;
  ~TextModeFile();

  // Creates or replaces the file at `path`; false when it cannot be opened.
  bool Open(std::u16string_view path);
  void Write(std::string_view text);
  // The pieces one after another.
  void Write(std::initializer_list<std::string_view> pieces);
  // Flushes and closes; false when any write, the flush or the close failed, or nothing is open.
  bool Close();
  // The system's error code (errno) of the first open, write, flush or close that failed; 0 when
  // none failed or the failure had no code.
  int error() const { return error_; }

private:
  void WriteBytes(const char* data, size_t size);
  // Remembers the failure and, for the first one, its errno.
  void Fail();

  std::FILE* file_ = nullptr;
  bool failed_ = false;
  int error_ = 0;
};

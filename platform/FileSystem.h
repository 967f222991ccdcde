#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

// Paths are UTF-16 text, split and joined as platform/Path.h says. They reach the system as
// UTF-16 or UTF-8, never through a narrow code page. A path that is empty or holds a zero unit
// names no file.
namespace platform {

struct FileAttributes {
  bool isDirectory = false;
  bool isRegularFile = false;  // a plain file: neither a directory nor a device, pipe or socket
  uint64_t size = 0;
  uint64_t lastWriteTime = 0;  // FILETIME: 100 ns intervals since 1601-01-01 UTC
};

// Nothing when the path does not exist or cannot be examined.
std::optional<FileAttributes> QueryFileAttributes(std::u16string_view path);
// Copies with overwrite; false when the source cannot be read or the target written.
bool CopyFileReplacing(std::u16string_view from, std::u16string_view to);
// Creates one directory; true when it exists afterwards.
bool MakeDirectory(std::u16string_view path);
bool RemoveFile(std::u16string_view path);
// Removes a directory only when it is empty; false when it is not, or cannot be removed.
bool RemoveEmptyDirectory(std::u16string_view path);

enum class FileOpenMode {
  kRead,     // an existing file, from its start
  kReplace,  // created, or emptied when it exists
  kAppend,   // created when missing; every write goes to its end
};
// Opens the file at `path` as a binary stream (no line-end translation on any platform); null
// when it cannot be opened. The caller closes it with std::fclose.
std::FILE* OpenFile(std::u16string_view path, FileOpenMode mode);

}  // namespace platform

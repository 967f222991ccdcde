#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Paths are UTF-16 text with '/' as the separator.
namespace platform {

inline constexpr char16_t kPathSeparator = u'/';

struct FileAttributes {
  bool isDirectory = false;
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

}  // namespace platform

#pragma once

#include <string>
#include <string_view>

// Splitting and joining UTF-16 paths by the platform's rules: Windows separates folders with '\'
// and accepts '/' as well; POSIX separates with '/' only, and a '\' there is part of a name.
// Pure text work: nothing here looks at the disk.
namespace platform {

#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

constexpr bool IsPathSeparator(char16_t unit) {
#ifdef _WIN32
  return unit == u'\\' || unit == u'/';
#else
  return unit == u'/';
#endif
}

// The part after the last separator: the whole path when it has none, empty when it ends in one.
std::u16string_view FileNameOf(std::u16string_view path);

// The part before the last separator, without it. A path without a separator is taken as a
// folder of its own and given back whole; "/name" gives the empty text.
std::u16string_view FolderOf(std::u16string_view path);

// The path without its file name's extension (the file name's last '.' and what follows it). A
// '.' in a folder is not an extension: such a path comes back whole.
std::u16string_view WithoutExtension(std::u16string_view path);

// `folder`, the platform's separator, then `name`; no second separator when `folder` already ends
// in one. An empty folder gives the separator and the name, as for the root "/name".
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

// `path` with every '/' written as the platform's separator (the same text on POSIX).
std::u16string WithNativeSeparators(std::u16string_view path);

// `path` with every separator of the platform written as '/', as a URI separates its segments
// (the same text on POSIX, where '\' is part of a name).
std::u16string WithUriSeparators(std::u16string_view path);

}  // namespace platform

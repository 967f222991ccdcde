#include "platform/Path.h"

#include <algorithm>

namespace platform {
namespace {

std::u16string WithSeparatorsAs(std::u16string_view path, char16_t separator) {
  std::u16string result(path);
  std::replace_if(result.begin(), result.end(), IsPathSeparator, separator);
  return result;
}

// Position of the last separator; npos when there is none.
size_t FindLastPathSeparator(std::u16string_view path) {
  for (size_t index = path.size(); index > 0; --index) {
    if (IsPathSeparator(path[index - 1])) return index - 1;
  }
  return std::u16string_view::npos;
}

}  // namespace

std::u16string_view FileNameOf(std::u16string_view path) {
  const size_t separator = FindLastPathSeparator(path);
  return separator == std::u16string_view::npos ? path : path.substr(separator + 1);
}

std::u16string_view FolderOf(std::u16string_view path) {
  const size_t separator = FindLastPathSeparator(path);
  return separator == std::u16string_view::npos ? path : path.substr(0, separator);
}

std::u16string_view WithoutExtension(std::u16string_view path) {
  const size_t nameStart = path.size() - FileNameOf(path).size();
  const size_t dot = path.rfind(u'.');
  return dot != std::u16string_view::npos && dot >= nameStart ? path.substr(0, dot) : path;
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
  std::u16string path(folder);
  if (path.empty() || !IsPathSeparator(path.back())) path += kPathSeparator;
  path += name;
  return path;
}

std::u16string WithNativeSeparators(std::u16string_view path) {
  return WithSeparatorsAs(path, kPathSeparator);
}

std::u16string WithUriSeparators(std::u16string_view path) { return WithSeparatorsAs(path, u'/'); }

}  // namespace platform

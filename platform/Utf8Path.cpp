#include "platform/Utf8Path.h"

#include "platform/TextConversion.h"

namespace platform {

// The path's native text is UTF-16 in wchar_t on Windows and bytes on POSIX: built and read as
// such, the library converts nothing.
#ifdef _WIN32
static_assert(sizeof(std::filesystem::path::value_type) == sizeof(char16_t));

std::filesystem::path PathFromUtf8(std::string_view text) {
  const std::u16string wide = Utf16FromUtf8(text);
  return std::filesystem::path::string_type(wide.begin(), wide.end());
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::filesystem::path::string_type& native = path.native();
  return Utf8FromUtf16(std::u16string(native.begin(), native.end()));
}
#else
std::filesystem::path PathFromUtf8(std::string_view text) { return std::string(text); }

std::string Utf8FromPath(const std::filesystem::path& path) { return path.native(); }
#endif

}  // namespace platform

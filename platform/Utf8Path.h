#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// UTF-8 text as a std::filesystem::path and back, keeping every character on every platform. On
// Windows the library's narrow constructor reads the ANSI code page (and path::string() writes
// UTF-8), so a name with letters outside that page comes out wrong or throws; these go through
// UTF-16, the system's own spelling of paths. On POSIX both are the bytes as they are.
namespace platform {

// An invalid UTF-8 sequence becomes U+FFFD on Windows; never throws.
std::filesystem::path PathFromUtf8(std::string_view text);
// An unpaired surrogate in a Windows path becomes U+FFFD; never throws.
std::string Utf8FromPath(const std::filesystem::path& path);

}  // namespace platform

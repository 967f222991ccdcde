#pragma once

#include <string>
#include <string_view>

// UTF-16 text as the wide API takes it: wchar_t is a UTF-16 unit on Windows, so the conversion
// is a reinterpretation, not a copy of the characters' meaning.
namespace platform::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

// A zero-terminated copy for a wide call.
inline std::wstring WideText(std::u16string_view text) { return {text.begin(), text.end()}; }

inline std::u16string Utf16Text(std::wstring_view text) { return {text.begin(), text.end()}; }

}  // namespace platform::win32

#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A renderer version: four signed numbers compared in order. All four 0 means that none was
// found; it is never a real version.
struct RendererVersion {
  int32_t major = 0, minor = 0, build = 0, revision = 0;
};

RendererVersion MakeRendererVersion(int32_t major, int32_t minor, int32_t build, int32_t revision);
// All four numbers equal.
bool Equals(const RendererVersion& a, const RendererVersion& b);
// Lexicographic on (major, minor, build, revision), signed: the first unequal number decides.
bool Less(const RendererVersion& a, const RendererVersion& b);
// True for the "none found" version 0.0.0.0.
bool IsNone(const RendererVersion& v);

// The oldest renderer the live link works with; an older installation counts as missing.
inline constexpr RendererVersion minimumRendererVersion{8, 5, 0, 0};

// "A.B.C.D" when the revision is not 0, else "A.B.C" when the build is not 0, else "A.B".
std::u16string FormatVersion(const RendererVersion& v);

// Reads a version from any text, such as a registry value or a window title: every unit but
// digits and full stops is dropped, then up to four numbers separated by full stops are read;
// reading stops at the first one missing and the rest stay 0. A number too large for 32 bits
// gives its low 32 bits after saturating at 2^63 - 1, which is what the C library's "%d" reads
// here. Safe on text of any length and content; linear in its length.
RendererVersion ParseVersion(std::u16string_view text);

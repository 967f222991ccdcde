#pragma once

namespace platform {

// Character classes of single UTF-16 units from the C.UTF-8 tables (the invariant locale's on
// Windows), so the answer is the same whatever locale the host process has chosen. Surrogate halves are neither letters nor cased.
char16_t UpperCaseUnit(char16_t unit);
bool IsLetterOrDigitUnit(char16_t unit);

}  // namespace platform

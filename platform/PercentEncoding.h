#pragma once

#include <string>

namespace platform {

// Appends `unit` as the percent-encoded bytes of its UTF-8 form ("é" gives "%c3%a9"), with
// lower-case hexadecimal digits. Each UTF-16 unit is encoded on its own, a surrogate half
// included, so that addresses and file references stay what they have always been.
void AppendPercentEncodedUnit(std::u16string& out, char16_t unit);

}  // namespace platform

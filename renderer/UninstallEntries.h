#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/Registry.h"
#include "renderer/RendererVersion.h"

// The machine-wide list of uninstallable programs, as far as it names installed renderers.

// Visits, in enumeration order, every entry whose DisplayName names the renderer (it contains
// "OMBREL" but neither "TRIAL" nor "VIEWER", compared in ASCII upper case), with the entry's key
// and its parsed DisplayVersion. `visit` returns false to end the enumeration. A missing list,
// an entry that cannot be opened or one without a name visits nothing for that level.
void ForEachRendererEntry(
    const std::function<bool(const platform::RegistryKey& entry, const RendererVersion& version)>& visit);

// A string value read as the renderer's entries are read: through a 1024-byte buffer, up to its
// first zero unit. Empty when the value is missing, longer than the buffer or not a string.
std::u16string ReadStringValue(const platform::RegistryKey& key, std::u16string_view name);

// ASCII letters upper-cased unit by unit; every other unit is kept.
std::u16string UpperCaseAscii(std::u16string_view text);

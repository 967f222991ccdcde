#pragma once

#include <string>
#include <string_view>

#include "sdk/HostServices.h"
#include "sdk/TXString.h"

// Texts by (string table, key) from the plug-in's resource folder, and image paths inside it.

// The resource that holds `table`: a name ending in ".vwstrings" is used as it is, one ending in
// "*" becomes "<plug-in>/Strings/<table>", any other "<plug-in>/Strings/<table>.vwstrings".
// Empty for an empty table name.
std::u16string StringTablePath(std::u16string_view table);

// The text of `key`; empty for an empty table name or when the host offers no resources. A
// missing table or key is answered by the host as `emptyHandling` asks.
TXString GetResourceString(std::u16string_view table, std::u16string_view key,
                           EmptyTextHandling emptyHandling = kEmptyTextGivesEmpty);

// "<plug-in>/Images/<fileName>", as the host resolves image paths.
std::u16string ImagePath(std::u16string_view fileName);

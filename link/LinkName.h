#pragma once

#include <string>
#include <string_view>

// A link belongs to one saved drawing and is named after its file.

// The active drawing's full path as the host gives it; empty when it was never saved or the host
// offers no document service.
std::u16string ActiveDocumentFileName();

// `fileName` with everything from its last '.' replaced by ".dae", or ".dae" appended when it has
// none; empty for an empty name.
std::u16string LinkNameOf(std::u16string_view fileName);

#pragma once

#include <string>
#include <string_view>

// A link belongs to one saved drawing and is named after its file, as the export names its file.

// The active drawing's full path as the host gives it; empty when it was never saved or the host
// offers no document service.
std::u16string ActiveDocumentFileName();

// `path` with its file name's extension (from the last '.' after the last separator) replaced by
// ".dae", or ".dae" appended when the file name has no '.'; empty for an empty path. Both the
// link name and the export's default file name.
std::u16string DaeNameOf(std::u16string_view path);

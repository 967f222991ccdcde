#pragma once

#include <string>
#include <string_view>

// How the export names its file before the user chooses one.

// The drawing's path with its file name's extension (from the last '.' of the file name, not of a
// folder) replaced by ".dae"; empty when the drawing has no path.
std::u16string ExportDefaultName(std::u16string_view drawingPath);

// Everything before the last path separator, written with the platform's separators; the whole
// text when it has none.
std::u16string ExportFolderOf(std::u16string_view path);

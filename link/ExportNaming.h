#pragma once

#include <string>
#include <string_view>

// Where the export's file dialog opens.

// Everything before the last path separator, written with the platform's separators; the whole
// text when it has none.
std::u16string ExportFolderOf(std::u16string_view path);

#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// What the export's save dialog offers and what it gives back.
namespace ui {

// The dialog's file buffer in UTF-16 units, the terminating zero included.
inline constexpr size_t kFileBufferLength = 260;
// The exported file's extension, without its '.'.
inline constexpr std::u16string_view kExportFileExtension = u"dae";

struct FileFilter {
  std::u16string description;
  std::u16string pattern;
  bool operator==(const FileFilter&) const = default;
};

// COLLADA files first (the one selected), then all files. Kept as pairs rather than one text with
// separators, so that no translated description can split the list or run past its end.
std::vector<FileFilter> ExportFileFilters(std::u16string_view daeFilesText, std::u16string_view allFilesText);

// The name the dialog offers: the file name's part from its last '.' on becomes ".dae" (or ".dae"
// is appended when it has none); with an initial folder only the part after the last path
// separator stays.
// A name that would not fit the file buffer is cut to fit, never between the halves of a
// surrogate pair.
std::u16string PrepareExportFileName(std::u16string_view defaultName, std::u16string_view initialFolder);

// The path the offer amounts to: the offered name in the initial folder, or the name alone.
std::u16string OfferedPath(std::u16string_view initialFolder, std::u16string_view fileName);

// The chosen path with ".dae" appended when it has no '.' anywhere. Empty stays empty.
std::u16string CompleteChosenPath(std::u16string_view chosenPath);

}  // namespace ui

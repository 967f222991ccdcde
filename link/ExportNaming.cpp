#include "link/ExportNaming.h"

#include "platform/Path.h"

std::u16string ExportFolderOf(std::u16string_view path) {
  return std::u16string(platform::FolderOf(platform::WithNativeSeparators(path)));
}

#include "link/ExportNaming.h"

std::u16string ExportFolderOf(std::u16string_view path) {
  return std::u16string(path.substr(0, path.rfind(u'/')));
}

#include "link/ExportNaming.h"

std::u16string ExportDefaultName(std::u16string_view drawingPath) {
  if (drawingPath.empty()) return {};
  // A '.' in a folder name is not the drawing's extension.
  const size_t nameStart = drawingPath.rfind(u'/') + 1;
  const size_t dot = drawingPath.rfind(u'.');
  const size_t end = dot != std::u16string_view::npos && dot >= nameStart ? dot : drawingPath.size();
  return std::u16string(drawingPath.substr(0, end)) + u".dae";
}

std::u16string ExportFolderOf(std::u16string_view path) {
  return std::u16string(path.substr(0, path.rfind(u'/')));
}

#include "link/LinkName.h"

#include "platform/FileSystem.h"
#include "sdk/HostBinding.h"

std::u16string ActiveDocumentFileName() {
  auto documents = HostBinding::Query<IDocumentService>(IID_DocumentService);
  return documents ? documents->GetActiveDocumentFileName().GetStdUString() : std::u16string();
}

std::u16string DaeNameOf(std::u16string_view path) {
  if (path.empty()) return {};
  // A '.' in a folder name is not the drawing's extension: cut there and two drawings of one
  // dotted folder would share a name in its parent.
  const size_t nameStart = path.rfind(platform::kPathSeparator) + 1;
  const size_t dot = path.rfind(u'.');
  const size_t end = dot != std::u16string_view::npos && dot >= nameStart ? dot : path.size();
  return std::u16string(path.substr(0, end)) + u".dae";
}

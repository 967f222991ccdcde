#include "link/LinkName.h"

#include "platform/Path.h"
#include "sdk/HostBinding.h"

std::u16string ActiveDocumentFileName() {
  auto documents = HostBinding::Query<IDocumentService>(IID_DocumentService);
  return documents ? documents->GetActiveDocumentFileName().GetStdUString() : std::u16string();
}

std::u16string DaeNameOf(std::u16string_view path) {
  if (path.empty()) return {};
  // A '.' in a folder name is not the drawing's extension: cut there and two drawings of one
  // dotted folder would share a name in its parent.
  return std::u16string(platform::WithoutExtension(path)) + u".dae";
}

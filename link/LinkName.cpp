#include "link/LinkName.h"

#include "sdk/HostBinding.h"

std::u16string ActiveDocumentFileName() {
  auto documents = HostBinding::Query<IDocumentService>(IID_DocumentService);
  return documents ? documents->GetActiveDocumentFileName().GetStdUString() : std::u16string();
}

std::u16string LinkNameOf(std::u16string_view fileName) {
  if (fileName.empty()) return {};
  const size_t dot = fileName.rfind(u'.');
  return std::u16string(fileName.substr(0, dot)) + u".dae";
}

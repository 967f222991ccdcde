#include "sdk/ResourceStrings.h"

#include "sdk/HostBinding.h"
#include "sdk/PluginIdentity.h"

namespace {

constexpr std::u16string_view kStringTableExtension = u".vwstrings";

}  // namespace

std::u16string StringTablePath(std::u16string_view table) {
  if (table.empty()) return {};
  if (table.ends_with(kStringTableExtension)) return std::u16string(table);
  std::u16string path(kPluginName);
  path += u"/Strings/";
  path += table;
  if (!table.ends_with(u'*')) path += kStringTableExtension;
  return path;
}

TXString GetResourceString(std::u16string_view table, std::u16string_view key,
                           EmptyTextHandling emptyHandling) {
  const std::u16string path = StringTablePath(table);
  if (path.empty()) return {};
  auto resources = HostBinding::Query<IResourceService>(IID_ResourceService);
  if (!resources) return {};
  return resources->GetString(TXString(path), TXString(key), emptyHandling);
}

std::u16string ImagePath(std::u16string_view fileName) {
  std::u16string path(kPluginName);
  path += u"/Images/";
  path += fileName;
  return path;
}

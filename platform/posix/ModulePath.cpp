#include "platform/ModulePath.h"

#include <dlfcn.h>
#include <filesystem>
#include <link.h>

#include "platform/TextConversion.h"

namespace platform {
namespace {

// The file that holds this code: the loaded library, or the program itself, whose link map entry
// has no name.
std::filesystem::path ContainingFile() {
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(reinterpret_cast<void*>(&GetModuleFolder), &info, reinterpret_cast<void**>(&map),
              RTLD_DL_LINKMAP) != 0 &&
      map && map->l_name && map->l_name[0] != '\0') {
    return map->l_name;
  }
  return "/proc/self/exe";
}

}  // namespace

std::u16string GetModuleFolder() {
  std::error_code error;
  const std::filesystem::path file = std::filesystem::canonical(ContainingFile(), error);
  if (error) return {};
  return Utf16FromUtf8(file.parent_path().string());
}

}  // namespace platform

#include "platform/SharedLibrary.h"

#include <dlfcn.h>
#include <utility>

namespace platform {

SharedLibrary::SharedLibrary() = default;

SharedLibrary::~SharedLibrary() { Unload(); }

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
  if (this != &other) {
    Unload();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

bool SharedLibrary::Load(const std::string& path, SharedLibrary& library, std::string& error) {
  // Every symbol is bound now, so that a missing one fails the load rather than a later call;
  // local, so that two modules never resolve against each other.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* message = dlerror();
    error = message ? message : "cannot load " + path;
    return false;
  }
  library.Unload();
  library.handle_ = handle;
  return true;
}

void* SharedLibrary::FindSymbol(const char* name) const {
  if (!handle_ || !name) return nullptr;
  return dlsym(handle_, name);
}

void SharedLibrary::Unload() {
  if (handle_) dlclose(std::exchange(handle_, nullptr));
}

bool KeepLoadedUntilExit(const void* address) {
  Dl_info info{};
  if (!dladdr(address, &info) || !info.dli_fname) return false;
  // The reference taken here is never given back, and the library is marked never to be unmapped.
  return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}

}  // namespace platform

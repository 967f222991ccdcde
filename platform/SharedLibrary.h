#pragma once

#include <memory>
#include <string>

namespace platform {

// A loaded shared library (the module, for the stand-in host).
class SharedLibrary {
public:
  SharedLibrary();
  ~SharedLibrary();  // unloads
  SharedLibrary(SharedLibrary&&) noexcept;
  SharedLibrary& operator=(SharedLibrary&&) noexcept;

  // False with `error` filled when the library cannot be loaded.
  static bool Load(const std::string& path, SharedLibrary& library, std::string& error);
  // Address of an exported symbol; null when there is none.
  void* FindSymbol(const char* name) const;
  void Unload();

private:
  void* handle_ = nullptr;
};

// Keeps the already loaded library that holds `address` in memory until the process ends, however
// often it is unloaded; for code that threads may still run after its user has gone. False when
// no loaded library holds the address.
bool KeepLoadedUntilExit(const void* address);

}  // namespace platform

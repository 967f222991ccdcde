#pragma once

#include <filesystem>

struct sqlite3;

// Holds the registry database's write lock on a connection of its own, as another process in the
// middle of a write would, until Release or destruction. The database must exist.
class RegistryHold {
public:
  explicit RegistryHold(const std::filesystem::path& database);
  ~RegistryHold();
  RegistryHold(const RegistryHold&) = delete;
  RegistryHold& operator=(const RegistryHold&) = delete;

  bool held() const { return held_; }
  void Release();

private:
  sqlite3* connection_ = nullptr;
  bool held_ = false;
};

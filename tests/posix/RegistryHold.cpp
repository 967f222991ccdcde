#include "tests/posix/RegistryHold.h"

#include <sqlite3.h>

RegistryHold::RegistryHold(const std::filesystem::path& database) {
  if (sqlite3_open_v2(database.c_str(), &connection_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return;
  held_ = sqlite3_exec(connection_, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
}

RegistryHold::~RegistryHold() {
  Release();
  sqlite3_close(connection_);
}

void RegistryHold::Release() {
  if (held_) sqlite3_exec(connection_, "ROLLBACK", nullptr, nullptr, nullptr);
  held_ = false;
}

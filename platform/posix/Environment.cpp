#include "platform/Environment.h"

#include <cstdlib>

namespace platform {

std::optional<std::string> ReadEnvironmentVariable(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

bool WriteEnvironmentVariable(const char* name, const std::string& value) {
  return setenv(name, value.c_str(), 1) == 0;
}

bool RemoveEnvironmentVariable(const char* name) { return unsetenv(name) == 0; }

}  // namespace platform

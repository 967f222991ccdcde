#include "platform/Environment.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace platform {

std::optional<std::string> GetEnvironmentVariable(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

bool SetEnvironmentVariable(const char* name, const std::string& value) {
  return setenv(name, value.c_str(), 1) == 0;
}

uint32_t GetEnvironmentMilliseconds(const char* name) {
  constexpr uint32_t kLongest = 60000;
  const char* value = std::getenv(name);
  if (!value) return 0;
  uint32_t milliseconds = 0;
  const char* end = value + std::strlen(value);
  const auto [stop, error] = std::from_chars(value, end, milliseconds);
  return error == std::errc() && stop == end && milliseconds <= kLongest ? milliseconds : 0;
}

}  // namespace platform

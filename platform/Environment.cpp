#include "platform/Environment.h"

#include <charconv>

namespace platform {

uint32_t GetEnvironmentMilliseconds(const char* name) {
  constexpr uint32_t kLongest = 60000;
  const std::optional<std::string> value = ReadEnvironmentVariable(name);
  if (!value) return 0;
  uint32_t milliseconds = 0;
  const char* end = value->data() + value->size();
  const auto [stop, error] = std::from_chars(value->data(), end, milliseconds);
  return error == std::errc() && stop == end && milliseconds <= kLongest ? milliseconds : 0;
}

}  // namespace platform

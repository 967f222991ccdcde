#include "platform/LocalTime.h"

namespace platform {

// localtime_s keeps its result in the caller's structure, so it is safe on any thread, and it
// applies the same time-zone rules as mktime, its inverse.
std::optional<std::tm> LocalTime(std::time_t time) {
  std::tm local{};
  if (localtime_s(&local, &time) != 0) return std::nullopt;
  return local;
}

}  // namespace platform

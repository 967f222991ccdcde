#include "platform/LocalTime.h"

namespace platform {

std::optional<std::tm> LocalTime(std::time_t time) {
  std::tm local{};
  if (!localtime_r(&time, &local)) return std::nullopt;
  return local;
}

}  // namespace platform

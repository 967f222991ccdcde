#pragma once

#include <ctime>
#include <optional>

namespace platform {

// `time` (seconds since 1970-01-01 UTC) broken down in the user's time zone, daylight saving
// included; nothing when the system cannot convert it. Safe on any thread.
std::optional<std::tm> LocalTime(std::time_t time);

}  // namespace platform

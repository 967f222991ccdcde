#pragma once

#include <optional>
#include <string>

namespace platform {

// The value of the process environment variable `name`; nothing when it is not set.
std::optional<std::string> GetEnvironmentVariable(const char* name);
// Sets `name` for this process and the programs and modules it starts from now on.
bool SetEnvironmentVariable(const char* name, const std::string& value);

}  // namespace platform

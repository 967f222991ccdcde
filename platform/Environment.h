#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// The value of the process environment variable `name`; nothing when it is not set.
std::optional<std::string> ReadEnvironmentVariable(const char* name);
// Sets `name` for this process and the programs and modules it starts from now on.
bool WriteEnvironmentVariable(const char* name, const std::string& value);
// Removes `name` from this process's environment; true when it is not set afterwards.
bool RemoveEnvironmentVariable(const char* name);
// `name` as a whole number of milliseconds, at most a minute; 0 when it is unset or anything
// else. For the pauses that the fault tests ask for, inert unless their variable is set.
uint32_t GetEnvironmentMilliseconds(const char* name);

}  // namespace platform

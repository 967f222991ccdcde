#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Ids of the running processes; processes that vanish while listed are simply missing.
std::vector<uint32_t> EnumerateProcesses();
// Full path of the process's executable; nothing when it cannot be read.
std::optional<std::u16string> GetProcessImagePath(uint32_t processId);
uint32_t GetCurrentProcessId();
// The process that started the caller, as it was at the caller's start (it may have ended since).
uint32_t GetParentProcessId();
// Threads of the calling process, its main thread included.
size_t CountProcessThreads();
// False for a process that has ended, also while it waits as a zombie to be reaped.
bool IsProcessAlive(uint32_t processId);

}  // namespace platform

#pragma once

#include <cstdint>
#include <filesystem>

// Sets a file's last-write time to the exact 100 ns tick since 1601-01-01 UTC; false when the
// system refuses. std::filesystem cannot be used for this: the MinGW library keeps whole seconds.
bool SetLastWriteTime(const std::filesystem::path& path, uint64_t fileTime);

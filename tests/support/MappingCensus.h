#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// What the system holds of named mappings, live or abandoned, beyond what SharedMemory::Open
// shows (which hides an abandoned object): for tests that check that nothing is left behind,
// that a killed creator's objects are swept, and that a living one's are not. Names are mapping
// names as the platform layer takes them. The POSIX backend keeps objects in the system's shared
// memory folder until they are removed; a Win32 backend, where the system removes a mapping with its last handle, lists
// the session's named sections.

// Whether an object of exactly this mapping name exists.
bool MappingObjectExists(std::u16string_view name);
// The system's names of this user's objects whose mapping name contains `part`; mapping names
// long enough to be shortened by the backend may be missed.
std::vector<std::string> MappingObjectsContaining(std::u16string_view part);
// Removes this user's abandoned objects at once, as the next document open would, and gives how
// many; always 0 where the system removes a mapping with its last handle.
size_t SweepAbandonedMappings();
// Whether the objects of a creator that ended without closing them stay until swept (POSIX); on
// Windows the system removes a mapping with its last handle, so they are gone once no reader
// holds them.
bool EndedCreatorsLeaveMappings();

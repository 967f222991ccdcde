#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// How the POSIX backend keeps named mappings: as shm objects in a namespace of the user's own,
// which a crashed creator leaves behind. For this backend's own tests and tools.
namespace platform::posix {

// The shm object name that `name` maps to: one deterministic escape of the UTF-16 text behind a
// per-user prefix (a leading slash, at most 200 characters; overlong names end in a hash).
std::string SharedMemoryObjectName(std::u16string_view name);

// Removes the names of this user's abandoned objects, so that crashes do not leave them to pile
// up; objects of living creators, objects still being created and other users' objects are kept.
// Gives how many were removed. Readers that map one keep it until they let go. Create runs this
// whenever the process holds no other mapping it created, that is when a document opens.
size_t RemoveAbandonedSharedMemory();

}  // namespace platform::posix

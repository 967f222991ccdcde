#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/SystemErrors.h"

// Named page-file mappings on POSIX shared memory. The name (any UTF-16 text) becomes a shm name
// by one deterministic escape inside a namespace of the user's own; overlong names end in a hash.
// The creator holds a claim on its object for as long as it has it mapped, which the system drops
// when the creator ends: an object without that claim was left by a crashed process and counts as
// absent, even while a reader still maps it. Objects are created with mode 0600, zero-filled, and
// unlinked by their creator.
namespace platform {

class SharedMemory {
public:
  SharedMemory();
  ~SharedMemory();
  SharedMemory(SharedMemory&&) noexcept;
  SharedMemory& operator=(SharedMemory&&) noexcept;

  // Creates and maps `size` zeroed bytes; 0 on success, kErrorAlreadyExists when a live object
  // has this name, another Windows error code otherwise (87 for size 0). An abandoned object of
  // the name is removed first; readers that still map it keep their view of the old bytes.
  static int32_t Create(std::u16string_view name, size_t size, SharedMemory& mapping);
  // Maps the whole of an existing live object; 0 on success, 2 (file not found) when there is
  // none or its creator has ended.
  static int32_t Open(std::u16string_view name, SharedMemory& mapping);

  // The shm object name that `name` maps to (a leading slash, at most 200 characters).
  static std::string ObjectName(std::u16string_view name);
  // Removes the names of this user's abandoned objects, so that crashes do not leave them to pile
  // up; objects of living creators, objects still being created and other users' objects are
  // kept. Gives how many were removed. Readers that map one keep it until they let go.
  static size_t RemoveAbandoned();

  void* data() const;
  size_t size() const;
  bool IsMapped() const;
  // Whether the process that created the object still has it: always true for the creator, and
  // for a reader false once the creator has closed it or ended, cleanly or not.
  bool IsCreatorAlive() const;
  // Unmaps; the creator also removes the name.
  void Close();

private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform

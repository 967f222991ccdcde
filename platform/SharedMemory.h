#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/SystemErrors.h"

// Named page-file mappings on POSIX shared memory. The name (any UTF-16 text) becomes a shm name
// by one deterministic escape inside a namespace of the user's own; overlong names end in a hash. Every process that maps an object
// holds a shared flock on it, so an object nobody holds was left by a crashed process and counts
// as absent. Objects are created with mode 0600, zero-filled, and unlinked by their creator.
namespace platform {

class SharedMemory {
public:
  SharedMemory();
  ~SharedMemory();
  SharedMemory(SharedMemory&&) noexcept;
  SharedMemory& operator=(SharedMemory&&) noexcept;

  // Creates and maps `size` zeroed bytes; 0 on success, kErrorAlreadyExists when a live object
  // has this name, another Windows error code otherwise (87 for size 0). An abandoned object of
  // the name is removed first.
  static int32_t Create(std::u16string_view name, size_t size, SharedMemory& mapping);
  // Maps the whole of an existing live object; 0 on success, 2 (file not found) when there is
  // none.
  static int32_t Open(std::u16string_view name, SharedMemory& mapping);

  // The shm object name that `name` maps to (a leading slash, at most 200 characters).
  static std::string ObjectName(std::u16string_view name);

  void* data() const;
  size_t size() const;
  bool IsMapped() const;
  // Whether another process still maps the object (holds its liveness lock): for a reader of the
  // creator's object, false once the creator has ended and nobody else holds it.
  bool IsHeldElsewhere() const;
  // Unmaps; the creator also removes the name.
  void Close();

private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform

#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/SystemErrors.h"

// Named page-file mappings shared between the processes of one user. A name is any UTF-16 text,
// slashes included; two users never see each other's names. What both systems keep:
// - creating a name that a living creator holds fails with 183; opening a missing name fails
//   with 2; a fresh mapping is zero-filled;
// - the creator's end, clean or by a crash, is noticed: a reader then sees IsCreatorAlive()
//   false, and the name counts as absent for Open and free for Create, even while readers still
//   map the old bytes;
// - a reader's view may be larger than what the creator asked for (Windows rounds a view to whole
//   pages), so a reader takes sizes from the document's own header and uses size() only as the
//   bound that they must fit in.
namespace platform {

class SharedMemory {
public:
  SharedMemory();
  ~SharedMemory();
  SharedMemory(SharedMemory&&) noexcept;
  SharedMemory& operator=(SharedMemory&&) noexcept;

  // Creates and maps `size` zeroed bytes; 0 on success, kErrorAlreadyExists when a live object
  // has this name, another Windows error code otherwise (87 for size 0). An abandoned object of
  // the name does not stand in the way; readers that still map it keep their view of the old bytes.
  static int32_t Create(std::u16string_view name, size_t size, SharedMemory& mapping);
  // Maps the whole of an existing live object (see size()); 0 on success, 2 (file not found) when
  // there is none or its creator has ended.
  static int32_t Open(std::u16string_view name, SharedMemory& mapping);

  void* data() const;
  // The creator's size for the creator; for a reader at least that, possibly rounded up.
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

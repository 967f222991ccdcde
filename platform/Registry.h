#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SystemErrors.h"

// The per-user and machine-wide registry. On Windows it is the system registry itself. The POSIX
// backend keeps it in one SQLite database file per user: the path in TIDELINK_REGISTRY, else
// $XDG_CONFIG_HOME/tidelink/registry.sqlite (or ~/.config/...), the file made with mode 0600, and
// folders that the path lacks with mode 0700.
// Key paths and value names compare case-insensitively; values keep their type and size. The
// POSIX backend enumerates in creation order; Windows lists subkeys by name and promises no order
// of values (Wine lists them by name), so callers never depend on the order. Safe for several
// threads and processes at once.
//
// Isolation: TIDELINK_REGISTRY, read at each call, gives a process (and the programs it starts) a
// registry of its own, so that tests never see each other's keys or the user's. Every backend
// honours it; a Win32 backend keeps the real registry and puts both roots' keys under a key named
// after the variable's value in the current user's hive (HKCU\Software\TideLinkTest\<value>, then
// CurrentUser or LocalMachine). There the wait limit below bounds nothing: the system registry
// never makes a caller wait for another process.
namespace platform {

// What a caller on the main thread allows the registry calls of one operation, all together, to
// wait for another process's hold on the database.
inline constexpr std::chrono::milliseconds kRegistryWaitOnMainThread{500};

// Bounds the time that the registry calls of this thread spend waiting for another process's
// hold on the database, all together, from construction to destruction; a call then fails with
// kErrorBadDatabase. Without a limit each call waits up to 5 s. A nested limit never extends the
// one around it.
class RegistryWaitLimit {
public:
  explicit RegistryWaitLimit(std::chrono::milliseconds total);
  ~RegistryWaitLimit();
  RegistryWaitLimit(const RegistryWaitLimit&) = delete;
  RegistryWaitLimit& operator=(const RegistryWaitLimit&) = delete;

private:
  std::optional<std::chrono::steady_clock::time_point> outer_;
};

enum class RegistryRoot { CurrentUser, LocalMachine };  // HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE

// The value types and their numbers as Windows has them (REG_NONE, REG_SZ, REG_BINARY, REG_DWORD).
enum RegistryValueType : uint32_t {
  kRegistryNone = 0,
  kRegistryString = 1,
  kRegistryBinary = 3,
  kRegistryDword = 4,
};

class RegistryKey {
public:
  RegistryKey();
  ~RegistryKey();
  RegistryKey(RegistryKey&&) noexcept;
  RegistryKey& operator=(RegistryKey&&) noexcept;

  // Opens an existing key; kErrorFileNotFound when it does not exist.
  static int32_t Open(RegistryRoot root, std::u16string_view path, RegistryKey& key);
  // Opens the key, creating it and the keys on its path when missing.
  static int32_t Create(RegistryRoot root, std::u16string_view path, RegistryKey& key);
  // Removes a key with its values; kErrorFileNotFound when it does not exist.
  static int32_t Delete(RegistryRoot root, std::u16string_view path);

  bool IsOpen() const;

  // Reads a value. `type` and `data` may be null. On entry `*size` is the buffer size; on return
  // it is the value's size. A buffer that is too small gives kErrorMoreData and is not written.
  int32_t QueryValue(std::u16string_view name, uint32_t* type, void* data, uint32_t* size) const;
  // Creates or replaces a value; a replaced value keeps its name and is listed once.
  int32_t SetValue(std::u16string_view name, uint32_t type, const void* data, uint32_t size);
  int32_t DeleteValue(std::u16string_view name);
  // Reads the value at `index`. `*nameLength` is the name buffer's capacity in
  // UTF-16 units including the terminating zero; on return, the name's length without it.
  // Either buffer too small gives kErrorMoreData; past the end gives kErrorNoMoreItems.
  int32_t EnumValue(uint32_t index, char16_t* name, uint32_t* nameLength, uint32_t* type,
                    void* data, uint32_t* size) const;

  // Number of direct subkeys and of values.
  int32_t QueryInfoKey(uint32_t* subkeyCount, uint32_t* valueCount) const;
  // Name of the direct subkey at `index`; buffer rules as for EnumValue's name.
  int32_t EnumKey(uint32_t index, char16_t* name, uint32_t* nameLength) const;

private:
  struct State;
  std::vector<std::u16string> SubkeyNames() const;
  std::unique_ptr<State> state_;
};

}  // namespace platform

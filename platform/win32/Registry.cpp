#include "platform/Registry.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/Environment.h"
#include "platform/TextConversion.h"
#include "platform/win32/Wide.h"

// The system registry itself. Windows already compares names case-insensitively, keeps types and
// sizes, and lets every process see every write at once; what is left here is the contract's
// buffer rules, which the system calls keep only loosely (they may write into a buffer that turns
// out too small), so values and names are read into buffers of their own first.
namespace platform {
namespace {

// A 32-bit build must see the same keys as the 64-bit renderer, not the redirected copy.
constexpr REGSAM kView = KEY_WOW64_64KEY;
constexpr size_t kLongestKeyName = 255;

// The system keeps these errors apart from "not found"; callers know only the latter.
int32_t Result(LSTATUS status) {
  return status == ERROR_KEY_DELETED ? kErrorFileNotFound : static_cast<int32_t>(status);
}

// The isolation of TIDELINK_REGISTRY: both roots move below a key named after its value in the
// current user's hive. A key name holds no backslash and at most 255 units, so the value is made
// into one; overlong values are named by a hash instead.
std::optional<std::u16string> IsolatedBase(RegistryRoot root) {
  const std::optional<std::string> isolation = ReadEnvironmentVariable("TIDELINK_REGISTRY");
  if (!isolation || isolation->empty()) return std::nullopt;
  std::u16string name = Utf16FromUtf8(*isolation);
  std::replace(name.begin(), name.end(), u'\\', u'/');
  if (name.size() > kLongestKeyName) {
    uint64_t hash = 0xCBF29CE484222325u;
    for (char16_t unit : name) hash = (hash ^ unit) * 0x100000001B3u;
    name = u"#" + Utf16FromUtf8(std::to_string(hash));
  }
  return u"Software\\TideLinkTest\\" + name +
         (root == RegistryRoot::LocalMachine ? u"\\LocalMachine\\" : u"\\CurrentUser\\");
}

struct SystemPath {
  HKEY root;
  std::wstring path;
};

SystemPath Locate(RegistryRoot root, std::u16string_view path) {
  if (const std::optional<std::u16string> base = IsolatedBase(root)) {
    return {HKEY_CURRENT_USER, win32::WideText(*base + std::u16string(path))};
  }
  return {root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
          win32::WideText(path)};
}

// Keys are opened for writing where the user may write, and for reading alone where only an
// administrator may (the local machine's keys, for a normal user): reads still work there.
template <typename OpenCall>
LSTATUS OpenForUse(OpenCall open, HKEY& key) {
  const LSTATUS status = open(KEY_READ | KEY_WRITE | kView, key);
  if (status != ERROR_ACCESS_DENIED) return status;
  return open(KEY_READ | kView, key);
}

// A value's type and bytes, read whole; the loop covers a value that grows between the calls.
LSTATUS ReadValue(HKEY key, const std::wstring& name, DWORD& type, std::vector<BYTE>& bytes) {
  for (;;) {
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    bytes.resize(size);
    status = RegQueryValueExW(key, name.c_str(), nullptr, &type, bytes.data(), &size);
    if (status == ERROR_MORE_DATA) continue;
    bytes.resize(size);
    return status;
  }
}

}  // namespace

// Another process never holds the real registry for long, so there is nothing to bound here.
RegistryWaitLimit::RegistryWaitLimit(std::chrono::milliseconds) {}
RegistryWaitLimit::~RegistryWaitLimit() = default;

struct RegistryKey::State {
  HKEY key = nullptr;
  ~State() { RegCloseKey(key); }
};

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;

bool RegistryKey::IsOpen() const { return state_ != nullptr; }

int32_t RegistryKey::Open(RegistryRoot root, std::u16string_view path, RegistryKey& key) {
  const SystemPath where = Locate(root, path);
  HKEY opened = nullptr;
  const LSTATUS status = OpenForUse(
      [&](REGSAM access, HKEY& result) {
        return RegOpenKeyExW(where.root, where.path.c_str(), 0, access, &result);
      },
      opened);
  if (status != ERROR_SUCCESS) return Result(status);
  key.state_ = std::make_unique<State>();
  key.state_->key = opened;
  return kErrorSuccess;
}

int32_t RegistryKey::Create(RegistryRoot root, std::u16string_view path, RegistryKey& key) {
  const SystemPath where = Locate(root, path);
  HKEY opened = nullptr;
  // The keys on the way are created too.
  const LSTATUS status = OpenForUse(
      [&](REGSAM access, HKEY& result) {
        return RegCreateKeyExW(where.root, where.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               access, nullptr, &result, nullptr);
      },
      opened);
  if (status != ERROR_SUCCESS) return Result(status);
  key.state_ = std::make_unique<State>();
  key.state_->key = opened;
  return kErrorSuccess;
}

int32_t RegistryKey::Delete(RegistryRoot root, std::u16string_view path) {
  const SystemPath where = Locate(root, path);
  HKEY doomed = nullptr;
  LSTATUS status = RegOpenKeyExW(where.root, where.path.c_str(), 0,
                                 DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE | kView,
                                 &doomed);
  if (status != ERROR_SUCCESS) return Result(status);
  // A key with subkeys cannot be deleted, so its contents go first, then the key itself.
  status = RegDeleteTreeW(doomed, nullptr);
  RegCloseKey(doomed);
  if (status == ERROR_SUCCESS) status = RegDeleteKeyExW(where.root, where.path.c_str(), kView, 0);
  return Result(status);
}

int32_t RegistryKey::QueryValue(std::u16string_view name, uint32_t* type, void* data,
                                uint32_t* size) const {
  if (!state_) return kErrorInvalidHandle;
  if (data && !size) return kErrorInvalidParameter;
  DWORD valueType = REG_NONE;
  std::vector<BYTE> bytes;
  if (const LSTATUS status = ReadValue(state_->key, win32::WideText(name), valueType, bytes)) {
    return Result(status);
  }
  if (type) *type = valueType;
  if (!size) return kErrorSuccess;
  const uint32_t capacity = *size;
  *size = static_cast<uint32_t>(bytes.size());
  if (!data) return kErrorSuccess;
  if (bytes.size() > capacity) return kErrorMoreData;
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  return kErrorSuccess;
}

int32_t RegistryKey::SetValue(std::u16string_view name, uint32_t type, const void* data,
                              uint32_t size) {
  if (!state_) return kErrorInvalidHandle;
  if (!data && size) return kErrorInvalidParameter;
  return Result(RegSetValueExW(state_->key, win32::WideText(name).c_str(), 0, type,
                               static_cast<const BYTE*>(data), size));
}

int32_t RegistryKey::DeleteValue(std::u16string_view name) {
  if (!state_) return kErrorInvalidHandle;
  return Result(RegDeleteValueW(state_->key, win32::WideText(name).c_str()));
}

int32_t RegistryKey::EnumValue(uint32_t index, char16_t* name, uint32_t* nameLength,
                               uint32_t* type, void* data, uint32_t* size) const {
  if (!state_) return kErrorInvalidHandle;
  if (!name || !nameLength || (data && !size)) return kErrorInvalidParameter;
  std::vector<wchar_t> valueName;
  std::vector<BYTE> bytes;
  DWORD valueType = REG_NONE;
  DWORD units = 0;
  DWORD byteCount = 0;
  for (;;) {
    DWORD longestName = 0, largestValue = 0;
    LSTATUS status = RegQueryInfoKeyW(state_->key, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, &longestName, &largestValue, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return Result(status);
    valueName.resize(longestName + 1);
    bytes.resize(largestValue);
    units = static_cast<DWORD>(valueName.size());
    byteCount = largestValue;
    status = RegEnumValueW(state_->key, index, valueName.data(), &units, nullptr, &valueType,
                           bytes.data(), &byteCount);
    // Another writer made a longer name or value since the sizes were read.
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) return Result(status);
    break;
  }
  // The name needs room for its terminating zero as well.
  const bool fits = units < *nameLength && (!data || byteCount <= *size);
  *nameLength = units;
  if (type) *type = valueType;
  if (size) *size = byteCount;
  if (!fits) return kErrorMoreData;
  std::copy(valueName.begin(), valueName.begin() + units, name);
  name[units] = u'\0';
  if (data && byteCount) std::memcpy(data, bytes.data(), byteCount);
  return kErrorSuccess;
}

int32_t RegistryKey::QueryInfoKey(uint32_t* subkeyCount, uint32_t* valueCount) const {
  if (!state_) return kErrorInvalidHandle;
  DWORD subkeys = 0, values = 0;
  const LSTATUS status = RegQueryInfoKeyW(state_->key, nullptr, nullptr, nullptr, &subkeys, nullptr,
                                          nullptr, &values, nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return Result(status);
  if (subkeyCount) *subkeyCount = subkeys;
  if (valueCount) *valueCount = values;
  return kErrorSuccess;
}

// Windows lists subkeys in the order of their names, not of their creation.
int32_t RegistryKey::EnumKey(uint32_t index, char16_t* name, uint32_t* nameLength) const {
  if (!state_) return kErrorInvalidHandle;
  if (!name || !nameLength) return kErrorInvalidParameter;
  wchar_t subkey[kLongestKeyName + 1];
  DWORD units = kLongestKeyName + 1;
  const LSTATUS status = RegEnumKeyExW(state_->key, index, subkey, &units, nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return Result(status);
  const bool fits = units < *nameLength;
  *nameLength = units;
  if (!fits) return kErrorMoreData;
  std::copy(subkey, subkey + units, name);
  name[units] = u'\0';
  return kErrorSuccess;
}

}  // namespace platform

#pragma once

#include <cstdint>

// The system error codes the platform layer reports, with the values callers and the other
// process already know.
namespace platform {

inline constexpr int32_t kErrorSuccess = 0;
inline constexpr int32_t kErrorFileNotFound = 2;   // no such key, value or named object
inline constexpr int32_t kErrorTooManyOpenFiles = 4;
inline constexpr int32_t kErrorAccessDenied = 5;
inline constexpr int32_t kErrorInvalidHandle = 6;
inline constexpr int32_t kErrorNotEnoughMemory = 8;
inline constexpr int32_t kErrorGeneralFailure = 31;
inline constexpr int32_t kErrorInvalidParameter = 87;
inline constexpr int32_t kErrorAlreadyExists = 183;  // a live object has that name
inline constexpr int32_t kErrorMoreData = 234;       // buffer too small; the size says how much
inline constexpr int32_t kErrorNoMoreItems = 259;    // enumeration past the last value
inline constexpr int32_t kErrorBadDatabase = 1009;   // the registry file cannot be read

}  // namespace platform

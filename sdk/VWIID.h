#pragma once

#include <cstdint>
#include <cstring>
#include <string>

// A 16-byte interface identifier in the host's GUID layout. The host asks for extension objects
// and services by these.
struct VWIID {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};
static_assert(sizeof(VWIID) == 16, "VWIID is exchanged with the host as 16 bytes");

// Identifiers are equal when both 64-bit halves are equal.
inline bool operator==(const VWIID& left, const VWIID& right) {
  uint64_t leftHalves[2];
  uint64_t rightHalves[2];
  std::memcpy(leftHalves, &left, sizeof(left));
  std::memcpy(rightHalves, &right, sizeof(right));
  return leftHalves[0] == rightHalves[0] && leftHalves[1] == rightHalves[1];
}

// Registry form with braces and upper-case hex, e.g. "{CD594A95-6495-44C3-B237-BBDB994ADEF3}".
std::string FormatVWIID(const VWIID& id);

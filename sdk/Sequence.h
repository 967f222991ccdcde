#pragma once

#include <cstdint>

// A borrowed run of elements in a host payload: pointer and count, so that host and module share
// no container type. Valid only for the duration of the call that hands it over.
template <class T>
struct Sequence {
  const T* data = nullptr;
  uint64_t count = 0;

  const T* begin() const { return data; }
  const T* end() const { return data + count; }
  bool empty() const { return count == 0; }
  const T& operator[](uint64_t index) const { return data[index]; }
};

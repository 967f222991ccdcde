#pragma once

#include <span>

#include "sdk/Sequence.h"

// The elements of a host sequence; one without data counts as empty, whatever its count says.
template <class T>
std::span<const T> elementsOf(const Sequence<T>& sequence) {
  if (!sequence.data) return {};
  return {sequence.data, static_cast<size_t>(sequence.count)};
}

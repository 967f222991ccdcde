#pragma once

#include <cstdint>
#include <cstring>
#include <limits>

// The fuzzer's bytes read front to back; past the end every read gives zero, so any input decodes.
class FuzzInput {
public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool empty() const { return offset_ >= size_; }
  size_t remaining() const { return empty() ? 0 : size_ - offset_; }

  uint8_t Byte() { return empty() ? 0 : data_[offset_++]; }

  template <class T>
  T Raw() {
    T value{};
    const size_t count = remaining() < sizeof(T) ? remaining() : sizeof(T);
    if (count) std::memcpy(&value, data_ + offset_, count);
    offset_ += count;
    return value;
  }

  // Mostly the numbers that break arithmetic, otherwise any bit pattern.
  double Number() {
    const uint8_t choice = Byte();
    switch (choice % 16) {
      case 0: return std::numeric_limits<double>::quiet_NaN();
      case 1: return std::numeric_limits<double>::infinity();
      case 2: return -std::numeric_limits<double>::infinity();
      case 3: return 0.0;
      case 4: return -0.0;
      case 5: return 1.0;
      case 6: return -1.0;
      case 7: return 1e300;
      case 8: return std::numeric_limits<double>::denorm_min();
      case 9: return 3.5e38;  // beyond a float
      case 10: return Raw<double>();
      default: return static_cast<double>(static_cast<int8_t>(Byte())) * (choice / 16 + 1) * 10.0;
    }
  }

private:
  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
};

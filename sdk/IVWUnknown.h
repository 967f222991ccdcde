#pragma once

#include <cstdint>

// Base of everything that crosses between host and module as an object: reference-counted host
// services and the module's extension objects.
class IVWUnknown {
public:
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

protected:
  virtual ~IVWUnknown() = default;
};

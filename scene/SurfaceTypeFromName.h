#pragma once

#include <cstdint>
#include <string_view>

// The surface type a material's name suggests. Words are matched anywhere in the name, code unit
// by code unit, upper-cased by the platform's Unicode table (whatever the process locale), in
// several languages.

inline constexpr uint32_t kSurfaceTypeNone = 0;
inline constexpr uint32_t kSurfaceTypeWater = 1;
inline constexpr uint32_t kSurfaceTypeGlass = 2;

// A water word, or "eau" as a word of its own (so "Bureau" and "Plateau" are not water).
bool isWater(std::u16string_view name);
bool isGlass(std::u16string_view name);

// Water before glass: "water glass" is water.
uint32_t surfaceTypeFromName(std::u16string_view name);

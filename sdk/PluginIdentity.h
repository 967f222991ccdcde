#pragma once

#include <cstdint>
#include <string_view>

// Who the plug-in is, as the host and the user see it.
inline constexpr std::u16string_view kPluginName = u"OmbrelTideLinkForVectorworks";
inline constexpr std::u16string_view kPluginVersion = u"3.60.92";
inline constexpr int32_t kModuleVersion = 2500;
inline constexpr int16_t kSupportedHostMajorVersion = 25;

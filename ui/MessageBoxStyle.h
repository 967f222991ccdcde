#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// Message box flags and results, and what they mean for the buttons a box shows.
namespace ui {

inline constexpr uint32_t kBoxOk = 0x0;
inline constexpr uint32_t kBoxOkCancel = 0x1;
inline constexpr uint32_t kBoxYesNoCancel = 0x3;
inline constexpr uint32_t kBoxYesNo = 0x4;
inline constexpr uint32_t kBoxIconError = 0x10;
inline constexpr uint32_t kBoxIconQuestion = 0x20;
inline constexpr uint32_t kBoxIconInformation = 0x40;
inline constexpr uint32_t kBoxDefaultButton2 = 0x100;

inline constexpr int kResultOk = 1;
inline constexpr int kResultCancel = 2;
inline constexpr int kResultYes = 6;
inline constexpr int kResultNo = 7;

// The results of the box's buttons, in the order they are shown; OK alone for button sets this
// plug-in does not use.
std::vector<int> ButtonsOf(uint32_t flags);
// What Enter gives: the button the flags mark as default, else the first.
int DefaultResultOf(uint32_t flags);
// What closing the box gives: Cancel, except on a box whose only button is OK.
int CloseResultOf(uint32_t flags);

// "ok", "cancel", "yes", "no" and back; nothing for other words and results.
std::string_view ButtonName(int result);
std::optional<int> ButtonFromName(std::string_view name);

}  // namespace ui

#include "ui/MessageBoxStyle.h"

namespace ui {
namespace {

constexpr uint32_t kButtonSetMask = 0xF;
constexpr uint32_t kDefaultButtonMask = 0xF00;
constexpr int kDefaultButtonShift = 8;

struct NamedButton {
  int result;
  std::string_view name;
};
constexpr NamedButton kButtonNames[] = {
    {kResultOk, "ok"}, {kResultCancel, "cancel"}, {kResultYes, "yes"}, {kResultNo, "no"}};

}  // namespace

std::vector<int> ButtonsOf(uint32_t flags) {
  switch (flags & kButtonSetMask) {
    case kBoxOkCancel:
      return {kResultOk, kResultCancel};
    case kBoxYesNoCancel:
      return {kResultYes, kResultNo, kResultCancel};
    case kBoxYesNo:
      return {kResultYes, kResultNo};
    default:
      return {kResultOk};
  }
}

int DefaultResultOf(uint32_t flags) {
  const std::vector<int> buttons = ButtonsOf(flags);
  const size_t marked = (flags & kDefaultButtonMask) >> kDefaultButtonShift;
  return marked < buttons.size() ? buttons[marked] : buttons.front();
}

int CloseResultOf(uint32_t flags) {
  const std::vector<int> buttons = ButtonsOf(flags);
  return buttons.size() == 1 && buttons.front() == kResultOk ? kResultOk : kResultCancel;
}

std::string_view ButtonName(int result) {
  for (const NamedButton& button : kButtonNames) {
    if (button.result == result) return button.name;
  }
  return {};
}

std::optional<int> ButtonFromName(std::string_view name) {
  for (const NamedButton& button : kButtonNames) {
    if (button.name == name) return button.result;
  }
  return std::nullopt;
}

}  // namespace ui

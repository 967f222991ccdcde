#include "ui/MessageHook.h"

namespace ui {
namespace {

constexpr std::u16string_view kProductWords = u"Ombrel TideLink";
constexpr size_t kCaptionReadLength = 255;  // a 256-unit buffer with its terminating zero

}  // namespace

HookAnswer MessageHook::OnWindowEvent(WindowEvent event, std::u16string_view caption) const {
  if (event != WindowEvent::Activate || !smallIcon_) return {};
  const bool ours = caption.substr(0, kCaptionReadLength).find(kProductWords) != std::u16string_view::npos;
  return {false, ours ? smallIcon_ : nullptr};
}

}  // namespace ui

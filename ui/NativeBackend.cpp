#include "ui/NativeBackend.h"

#include "diag/DebugLog.h"
#include "platform/NativeDialogs.h"
#include "platform/WebLink.h"

namespace ui {
namespace {

namespace native = platform::native;

native::ModuleImage ImageOf(const Picture& picture) {
  return {picture.resourceId, picture.shownSize.width, picture.shownSize.height};
}

// A dialog window of the system, seen through the interface the dialogs' logic uses.
class NativeDialogWindow : public DialogWindow {
public:
  // `dialog` must outlive this view unless it is handed over with `owned`.
  explicit NativeDialogWindow(native::Dialog& dialog) : dialog_(dialog) {}
  explicit NativeDialogWindow(std::unique_ptr<native::Dialog> owned) : dialog_(*owned), owned_(std::move(owned)) {}

  void SetCaption(std::u16string_view caption) override { dialog_.SetCaption(caption); }
  void SetItemText(int item, std::u16string_view text) override { dialog_.SetItemText(item, text); }
  void SetChecked(int item, bool checked) override { dialog_.SetChecked(item, checked); }
  bool IsChecked(int item) const override { return dialog_.IsChecked(item); }
  void AttachTooltip(int item, std::u16string_view text) override { dialog_.AttachTooltip(item, text); }
  void SetSmallIcon(const Picture& icon) override { dialog_.SetSmallIcon(ImageOf(icon)); }
  void SetItemPicture(int item, const Picture& picture) override { dialog_.SetItemBitmap(item, ImageOf(picture)); }
  void SetItemFont(int item, const FontDescription& font) override {
    dialog_.SetItemFont(item, {font.face, font.height, font.weight, font.underline, font.outputPrecision});
  }
  void SetItemTextColour(int item, Colour colour) override {
    dialog_.SetItemTextColour(item, colour.red, colour.green, colour.blue);
  }
  void SetItemEndEllipsis(int item) override { dialog_.SetItemEndEllipsis(item); }
  void DisableCloseItem() override { dialog_.DisableCloseItem(); }
  void AddProgressBar(const Rect& bounds, uint32_t style, int step) override {
    dialog_.AddProgressBar({bounds.left, bounds.top, bounds.width, bounds.height}, style, step);
  }
  void StepProgressBar() override { dialog_.StepProgressBar(); }
  void Show() override { dialog_.Show(); }
  Rect Bounds() const override {
    const native::WindowRect bounds = dialog_.Bounds();
    return {bounds.left, bounds.top, bounds.width, bounds.height};
  }
  void MoveTo(int left, int top) override { dialog_.MoveTo(left, top); }
  void PlaceBehind(WindowHandle window) override { dialog_.PlaceBehind(window); }
  void Close(int result) override { dialog_.Close(result); }
  void WaitForEvents(std::chrono::steady_clock::time_point deadline) override {
    dialog_.ProcessMessagesUntil(deadline);
  }
  void Wake() override { dialog_.Wake(); }

private:
  native::Dialog& dialog_;
  std::unique_ptr<native::Dialog> owned_;
};

}  // namespace

DisplayMetrics NativeBackend::Metrics() const {
  const native::ScreenMetrics metrics = native::ReadScreenMetrics();
  return {metrics.dpi, metrics.baseUnitX, metrics.baseUnitY, metrics.smallIconSize};
}

std::optional<Rect> NativeBackend::WindowBounds(WindowHandle window) const {
  const std::optional<native::WindowRect> bounds = native::ReadWindowRect(window);
  if (!bounds) return std::nullopt;
  return Rect{bounds->left, bounds->top, bounds->width, bounds->height};
}

int NativeBackend::ShowMessageBox(const MessageBoxRequest& request, const MessageHook& hook) {
  return native::ShowMessageBox(request.owner, request.text, request.caption, request.flags,
                                [&](std::u16string_view caption) {
                                  const HookAnswer answer = hook.OnWindowEvent(WindowEvent::Activate, caption);
                                  native::MessageBoxActivation activation{answer.passOn, std::nullopt};
                                  if (answer.smallIcon) activation.smallIcon = ImageOf(*answer.smallIcon);
                                  return activation;
                                });
}

int NativeBackend::RunModalDialog(const DialogTemplate& dialog, WindowHandle owner, DialogHandler& handler) {
  std::optional<NativeDialogWindow> view;
  const native::DialogEvents events{
      [&](native::Dialog& opened) { handler.OnOpen(view.emplace(opened)); },
      [&](native::Dialog&, int item) { handler.OnCommand(*view, item); }};
  const int result = native::RunModalDialog(dialog.id, owner, events);
  // The system's answer when the template could not be found or the window not made.
  if (result == -1) DebugLog("dialog %d could not be shown", dialog.id);
  return result;
}

std::unique_ptr<DialogWindow> NativeBackend::CreateModelessDialog(const DialogTemplate& dialog) {
  std::unique_ptr<native::Dialog> created = native::CreateModelessDialog(dialog.id);
  if (!created) {
    DebugLog("dialog %d could not be created", dialog.id);
    return nullptr;
  }
  return std::make_unique<NativeDialogWindow>(std::move(created));
}

std::optional<std::u16string> NativeBackend::ShowSaveDialog(const SaveDialogRequest& request) {
  native::SaveFileRequest save{request.owner, {}, request.fileName, kFileBufferLength,
                               request.initialFolder, request.title, request.options, request.defaultExtension};
  for (const FileFilter& filter : request.filters) save.filters.emplace_back(filter.description, filter.pattern);
  return native::ShowSaveFileDialog(save);
}

void NativeBackend::SetWindowEnabled(WindowHandle window, bool enabled) { native::EnableWindow(window, enabled); }

void NativeBackend::OpenAddress(std::u16string_view address) { platform::OpenWebAddress(address); }

}  // namespace ui

#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ui/UIBackend.h"

// A dialog held in memory: everything the logic has done to it, readable at any time. The
// headless and terminal backends show their dialogs from it.
namespace ui {

struct DialogItemState {
  DialogControl control;
  std::u16string text;
  std::vector<std::u16string> textsSet;  // every text set after creation, in order
  bool checked = false;
  std::u16string tooltip;
  std::optional<Picture> picture;
  std::optional<FontDescription> font;
  std::optional<Colour> textColour;
  bool endEllipsis = false;
};

struct ProgressBarState {
  Rect bounds;
  uint32_t style = 0;
  int step = 0;
  int steps = 0;  // how often the bar has stepped
};

struct DialogState {
  int templateId = 0;
  std::u16string caption;
  std::vector<DialogItemState> items;
  std::optional<Picture> smallIcon;
  bool closeItemDisabled = false;
  bool visible = false;
  Rect bounds;
  std::optional<ProgressBarState> progressBar;
  WindowHandle placedBehind = 0;
  bool closed = false;
  int result = 0;

  // Null when the dialog has no such control.
  const DialogItemState* Item(int id) const;
};

// Safe to read (Snapshot, IsClosed) from any thread while the owning thread changes it.
class DialogModel : public DialogWindow {
public:
  // Placed and sized in pixels from the template's dialog units.
  DialogModel(const DialogTemplate& dialog, const DisplayMetrics& metrics);

  DialogState Snapshot() const;
  bool IsClosed() const;
  // Presses `item` as a user would: an automatic check box toggles. True when the item sends a
  // command, as Cancel (Escape, the close box) always does; false for items that do not exist or
  // only show something.
  bool Click(int item);
  // What Enter sends: the default push button, else OK.
  int DefaultCommand() const;
  // Lets the user work the dialog after `handler` has opened it: sends each command that
  // `nextCommand` gives until the dialog is closed. When it has no more (nothing), the close box
  // is pressed, and a dialog that still stays open is closed with Cancel. The close result.
  int RunCommands(DialogHandler& handler, const std::function<std::optional<int>()>& nextCommand);

  void SetCaption(std::u16string_view caption) override;
  void SetItemText(int item, std::u16string_view text) override;
  void SetChecked(int item, bool checked) override;
  bool IsChecked(int item) const override;
  void AttachTooltip(int item, std::u16string_view text) override;
  void SetSmallIcon(const Picture& icon) override;
  void SetItemPicture(int item, const Picture& picture) override;
  void SetItemFont(int item, const FontDescription& font) override;
  void SetItemTextColour(int item, Colour colour) override;
  void SetItemEndEllipsis(int item) override;
  void DisableCloseItem() override;
  void AddProgressBar(const Rect& bounds, uint32_t style, int step) override;
  void StepProgressBar() override;
  void Show() override;
  Rect Bounds() const override;
  void MoveTo(int left, int top) override;
  void PlaceBehind(WindowHandle window) override;
  void Close(int result) override;
  void WaitForEvents(std::chrono::steady_clock::time_point deadline) override;
  void Wake() override;

private:
  // Applies `change` to the item under the lock; nothing when there is no such item.
  template <class Change>
  void ChangeItem(int item, Change change);

  mutable std::mutex mutex_;
  DialogState state_;
  std::condition_variable wakeup_;
  bool woken_ = false;
};

}  // namespace ui

#include "ui/DialogModel.h"

namespace ui {

const DialogItemState* DialogState::Item(int id) const {
  for (const DialogItemState& item : items) {
    if (item.control.id == id) return &item;
  }
  return nullptr;
}

DialogModel::DialogModel(const DialogTemplate& dialog, const DisplayMetrics& metrics) {
  state_.templateId = dialog.id;
  state_.caption = dialog.caption;
  const Size origin = DialogUnitsToPixels(dialog.x, dialog.y, metrics);
  const Size size = DialogUnitsToPixels(dialog.width, dialog.height, metrics);
  state_.bounds = {origin.width, origin.height, size.width, size.height};
  for (const DialogControl& control : dialog.controls) {
    DialogItemState item;
    item.control = control;
    item.text = control.text;
    state_.items.push_back(std::move(item));
  }
}

template <class Change>
void DialogModel::ChangeItem(int item, Change change) {
  std::lock_guard lock(mutex_);
  for (DialogItemState& state : state_.items) {
    if (state.control.id == item) change(state);
  }
}

DialogState DialogModel::Snapshot() const {
  std::lock_guard lock(mutex_);
  return state_;
}

bool DialogModel::IsClosed() const {
  std::lock_guard lock(mutex_);
  return state_.closed;
}

bool DialogModel::Click(int item) {
  bool sendsCommand = item == kCommandCancel;
  ChangeItem(item, [&](DialogItemState& state) {
    if (IsAutoCheckBox(state.control)) state.checked = !state.checked;
    sendsCommand = SendsCommand(state.control);
  });
  return sendsCommand;
}

int DialogModel::DefaultCommand() const {
  std::lock_guard lock(mutex_);
  for (const DialogItemState& item : state_.items) {
    if (IsDefaultPushButton(item.control)) return item.control.id;
  }
  return kCommandOk;
}

int DialogModel::RunCommands(DialogHandler& handler, const std::function<std::optional<int>()>& nextCommand) {
  while (!IsClosed()) {
    const std::optional<int> item = nextCommand();
    if (!item) break;
    if (Click(*item)) handler.OnCommand(*this, *item);
  }
  if (!IsClosed()) handler.OnCommand(*this, kCommandCancel);
  if (!IsClosed()) Close(kCommandCancel);
  return Snapshot().result;
}

void DialogModel::SetCaption(std::u16string_view caption) {
  std::lock_guard lock(mutex_);
  state_.caption = caption;
}

void DialogModel::SetItemText(int item, std::u16string_view text) {
  ChangeItem(item, [&](DialogItemState& state) {
    state.text = text;
    state.textsSet.emplace_back(text);
  });
}

void DialogModel::SetChecked(int item, bool checked) {
  ChangeItem(item, [&](DialogItemState& state) { state.checked = checked; });
}

bool DialogModel::IsChecked(int item) const {
  std::lock_guard lock(mutex_);
  const DialogItemState* state = state_.Item(item);
  return state && state->checked;
}

void DialogModel::AttachTooltip(int item, std::u16string_view text) {
  ChangeItem(item, [&](DialogItemState& state) { state.tooltip = text; });
}

void DialogModel::SetSmallIcon(const Picture& icon) {
  std::lock_guard lock(mutex_);
  state_.smallIcon = icon;
}

void DialogModel::SetItemPicture(int item, const Picture& picture) {
  ChangeItem(item, [&](DialogItemState& state) { state.picture = picture; });
}

void DialogModel::SetItemFont(int item, const FontDescription& font) {
  ChangeItem(item, [&](DialogItemState& state) { state.font = font; });
}

void DialogModel::SetItemTextColour(int item, Colour colour) {
  ChangeItem(item, [&](DialogItemState& state) { state.textColour = colour; });
}

void DialogModel::SetItemEndEllipsis(int item) {
  ChangeItem(item, [](DialogItemState& state) { state.endEllipsis = true; });
}

void DialogModel::DisableCloseItem() {
  std::lock_guard lock(mutex_);
  state_.closeItemDisabled = true;
}

void DialogModel::AddProgressBar(const Rect& bounds, uint32_t style, int step) {
  std::lock_guard lock(mutex_);
  state_.progressBar = ProgressBarState{bounds, style, step, 0};
}

void DialogModel::StepProgressBar() {
  std::lock_guard lock(mutex_);
  if (state_.progressBar) ++state_.progressBar->steps;
}

void DialogModel::Show() {
  std::lock_guard lock(mutex_);
  state_.visible = true;
}

Rect DialogModel::Bounds() const {
  std::lock_guard lock(mutex_);
  return state_.bounds;
}

void DialogModel::MoveTo(int left, int top) {
  std::lock_guard lock(mutex_);
  state_.bounds.left = left;
  state_.bounds.top = top;
}

void DialogModel::PlaceBehind(WindowHandle window) {
  std::lock_guard lock(mutex_);
  state_.placedBehind = window;
}

void DialogModel::Close(int result) {
  std::lock_guard lock(mutex_);
  state_.closed = true;
  state_.result = result;
}

void DialogModel::WaitForEvents(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  wakeup_.wait_until(lock, deadline, [&] { return woken_; });
  woken_ = false;
}

void DialogModel::Wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  wakeup_.notify_all();
}

}  // namespace ui

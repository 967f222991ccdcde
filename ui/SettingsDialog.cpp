#include "ui/SettingsDialog.h"

#include "ui/TextReplacement.h"

namespace ui {
namespace {

struct SettingBox {
  int item;
  DialogSetting setting;
  std::u16string DialogTexts::*label;
  std::u16string DialogTexts::*tip;
};

constexpr SettingBox kSettingBoxes[] = {
    {kCameraSyncBox, DialogSetting::CameraAutoSync, &DialogTexts::cameraSyncLabel, &DialogTexts::cameraSyncTip},
    {kRepairModeBox, DialogSetting::RepairMode, &DialogTexts::repairModeLabel, &DialogTexts::repairModeTip},
    {kOptimizeBox, DialogSetting::OptimizeGeometries, &DialogTexts::optimizeLabel, &DialogTexts::optimizeTip},
};

}  // namespace

void SettingsDialog::OnOpen(DialogWindow& dialog) {
  if (smallIcon_) dialog.SetSmallIcon(*smallIcon_);
  ReplaceCaption(dialog, texts_.settingsTitle);
  for (const SettingBox& box : kSettingBoxes) ReplaceItemText(dialog, box.item, texts_.*box.label);
  for (const SettingBox& box : kSettingBoxes) dialog.SetChecked(box.item, settings_.IsOn(box.setting));
  for (const SettingBox& box : kSettingBoxes) AttachTooltipIfAny(dialog, box.item, texts_.*box.tip);
}

void SettingsDialog::OnCommand(DialogWindow& dialog, int item) {
  if (item == kCommandOk || item == kCommandCancel) {
    dialog.Close(item);
    return;
  }
  for (const SettingBox& box : kSettingBoxes) {
    if (box.item == item) settings_.Store(box.setting, dialog.IsChecked(item));
  }
}

}  // namespace ui

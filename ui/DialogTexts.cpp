#include "ui/DialogTexts.h"

#include "sdk/PluginIdentity.h"
#include "sdk/ResourceStrings.h"
#include "ui/TextFormat.h"

namespace ui {

std::u16string ToolText(std::u16string_view key) {
  return GetResourceString(kToolStringTable, key).GetStdUString();
}

DialogTexts DialogTexts::Load() {
  return {FormatText(u"version: %s", kPluginVersion),
          ToolText(u"dlg_title_about"),
          ToolText(u"dlg_about_label_support"),
          ToolText(u"dlg_about_label_download"),
          ToolText(u"dlg_title_settings"),
          ToolText(u"dlg_settings_camera_sync"),
          ToolText(u"dlg_settings_camera_sync_tip"),
          ToolText(u"dlg_settings_repair_mode"),
          ToolText(u"dlg_settings_repair_mode_tip"),
          ToolText(u"dlg_settings_optimize_geometries"),
          ToolText(u"dlg_settings_optimize_geometries_tip"),
          ToolText(u"dlg_title_export"),
          ToolText(u"dae_export_dae_files"),
          ToolText(u"dae_export_all_files"),
          ToolText(u"dlg_export_progress_title"),
          ToolText(u"dlg_export_progress_label_wait")};
}

}  // namespace ui

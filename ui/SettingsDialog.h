#pragma once

#include <optional>

#include "ui/DialogResources.h"
#include "ui/DialogTexts.h"
#include "ui/SettingsAccess.h"
#include "ui/UIBackend.h"

namespace ui {

// The Settings dialog (101). Every check box stores its setting the moment it is clicked, so OK
// and Cancel only close the dialog and Cancel undoes nothing.
class SettingsDialog : public DialogHandler {
public:
  // All three are borrowed for the dialog's run.
  SettingsDialog(const DialogTexts& texts, const std::optional<Picture>& smallIcon, SettingsAccess& settings)
      : texts_(texts), smallIcon_(smallIcon), settings_(settings) {}

  void OnOpen(DialogWindow& dialog) override;
  void OnCommand(DialogWindow& dialog, int item) override;

private:
  const DialogTexts& texts_;
  const std::optional<Picture>& smallIcon_;
  SettingsAccess& settings_;
};

}  // namespace ui

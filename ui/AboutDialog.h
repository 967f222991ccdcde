#pragma once

#include "ui/DialogResources.h"
#include "ui/DialogTexts.h"
#include "ui/UIBackend.h"
#include "ui/WebAddresses.h"

namespace ui {

// The About dialog (102): version, picture and the two site addresses drawn as blue links. The
// picture opens the site's home page, the links the support and download pages.
class AboutDialog : public DialogHandler {
public:
  // All four are borrowed for the dialog's run; `backend` opens the addresses.
  AboutDialog(const DialogTexts& texts, const DialogResources& resources, WebAddresses& addresses,
              UIBackend& backend)
      : texts_(texts), resources_(resources), addresses_(addresses), backend_(backend) {}

  void OnOpen(DialogWindow& dialog) override;
  void OnCommand(DialogWindow& dialog, int item) override;

private:
  void OpenIfAny(const std::u16string& address);

  const DialogTexts& texts_;
  const DialogResources& resources_;
  WebAddresses& addresses_;
  UIBackend& backend_;
};

}  // namespace ui

#include "ui/AboutDialog.h"

#include "ui/TextReplacement.h"

namespace ui {
namespace {

constexpr Colour kLinkColour{0, 0, 255};

}  // namespace

void AboutDialog::OnOpen(DialogWindow& dialog) {
  dialog.SetItemText(kAboutVersionText, texts_.versionText);
  ReplaceCaption(dialog, texts_.aboutTitle);
  ReplaceItemText(dialog, kAboutSupportLabel, texts_.aboutSupportLabel);
  ReplaceItemText(dialog, kAboutDownloadLabel, texts_.aboutDownloadLabel);
  if (resources_.aboutPicture) dialog.SetItemPicture(kAboutPicture, *resources_.aboutPicture);
  dialog.SetItemFont(kAboutTitleText, resources_.titleFont);
  for (const int link : {kAboutSupportLink, kAboutDownloadLink}) {
    dialog.SetItemFont(link, resources_.linkFont);
    dialog.SetItemTextColour(link, kLinkColour);
    // The download address is wider than its control in the link font.
    dialog.SetItemEndEllipsis(link);
  }
}

void AboutDialog::OnCommand(DialogWindow& dialog, int item) {
  switch (item) {
    case kCommandOk:
    case kCommandCancel:
      dialog.Close(item);
      break;
    case kAboutPicture:
      OpenIfAny(addresses_.RootAddress());
      break;
    case kAboutSupportLink:
      OpenIfAny(addresses_.SupportAddress());
      break;
    case kAboutDownloadLink:
      OpenIfAny(addresses_.DownloadAddress());
      break;
    default:
      break;
  }
}

void AboutDialog::OpenIfAny(const std::u16string& address) {
  if (!address.empty()) backend_.OpenAddress(address);
}

}  // namespace ui

#include "ui/DialogTemplate.h"

#include "ui/WebAddresses.h"

namespace ui {
namespace {

constexpr int kDialogX = 260;
constexpr int kDialogY = 200;
constexpr std::u16string_view kDialogFace = u"MS Shell Dlg";
constexpr uint32_t kVisibleChild = kStyleChild | kStyleVisible;
constexpr uint32_t kStaticText = kVisibleChild | kStyleGroup;

DialogControl Button(int id, std::u16string_view text, int x, int y, int width, int height, uint32_t type) {
  return {id, std::u16string(kButtonClass), std::u16string(text), x, y, width, height,
          kVisibleChild | kStyleTabStop | type, 0};
}

DialogControl Text(int id, std::u16string_view text, int x, int y, int width, int height, uint32_t type) {
  return {id, std::u16string(kStaticClass), std::u16string(text), x, y, width, height, kStaticText | type, 0};
}

}  // namespace

DialogTemplate SettingsDialogTemplate() {
  return {kSettingsDialogId, u"Ombrel TideLink settings", kDialogX, kDialogY, 188, 95, kDialogStyle,
          {std::u16string(kDialogFace), 8},
          {Button(kCommandOk, u"OK", 133, 76, 50, 14, kButtonDefaultPush),
           Button(kCameraSyncBox, u"Automatically start camera synchronization", 13, 16, 164, 10, kButtonAutoCheckBox),
           Button(kRepairModeBox, u"Repair mode", 13, 31, 164, 10, kButtonAutoCheckBox),
           Button(kOptimizeBox, u"Optimize geometries", 13, 46, 164, 10, kButtonAutoCheckBox)}};
}

DialogTemplate AboutDialogTemplate() {
  DialogControl picture{kAboutPicture, std::u16string(kStaticClass), u"", 8, 8, 25, 30,
                        kVisibleChild | kStaticBitmap | kStaticNotify, kExStyleWindowEdge};
  return {kAboutDialogId, u"About Ombrel\u00AE TideLink\u00AE for Vectorworks", kDialogX, kDialogY, 219, 102,
          kDialogStyle, {std::u16string(kDialogFace), 9, 400, 238},
          {Button(kCommandOk, u"OK", 166, 80, 45, 15, kButtonDefaultPush),
           picture,
           Text(kAboutVersionText, u"version", 79, 22, 127, 11, kStaticLeft),
           Text(kAboutSupportLabel, u"Click here to get help:", 79, 36, 127, 11, kStaticLeft),
           Text(kAboutSupportLink, SupportPageText(), 79, 44, 127, 11, kStaticLeft | kStaticNotify),
           Text(kAboutDownloadLabel, u"Click here to get the latest version:", 79, 57, 127, 11, kStaticLeft),
           Text(kAboutDownloadLink, DownloadPageText(), 79, 65, 127, 11, kStaticLeft | kStaticNotify)}};
}

DialogTemplate ProgressDialogTemplate() {
  return {kProgressDialogId, u"Ombrel TideLink settings", kDialogX, kDialogY, 219, 85, kDialogStyle,
          {std::u16string(kDialogFace), 8},
          {Text(kProgressWaitLabel, u"Please wait...", 13, 20, 164, 16, kStaticLeft),
           Text(kProgressStepText, u"", 13, 50, 193, 16, kStaticCentre)}};
}

bool IsAutoCheckBox(const DialogControl& control) {
  return control.className == kButtonClass && (control.style & kButtonTypeMask) == kButtonAutoCheckBox;
}

bool IsDefaultPushButton(const DialogControl& control) {
  return control.className == kButtonClass && (control.style & kButtonTypeMask) == kButtonDefaultPush;
}

bool IsPicture(const DialogControl& control) {
  return control.className == kStaticClass && (control.style & kStaticTypeMask) == kStaticBitmap;
}

bool SendsCommand(const DialogControl& control) {
  return control.className == kButtonClass || (control.style & kStaticNotify) != 0;
}

}  // namespace ui

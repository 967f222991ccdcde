#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The plug-in's three dialogs as data: what each backend builds its windows from. Positions and
// sizes are dialog units; styles are the window and control style bits the dialogs ship with.
namespace ui {

inline constexpr int kSettingsDialogId = 101;
inline constexpr int kAboutDialogId = 102;
inline constexpr int kProgressDialogId = 103;

// Controls the dialogs' logic works with.
inline constexpr int kCameraSyncBox = 1002;
inline constexpr int kRepairModeBox = 1003;
inline constexpr int kOptimizeBox = 1004;
inline constexpr int kAboutPicture = 1004;
inline constexpr int kAboutTitleText = 1005;
inline constexpr int kAboutVersionText = 1007;
inline constexpr int kAboutSupportLabel = 1008;
inline constexpr int kAboutSupportLink = 1009;
inline constexpr int kAboutDownloadLabel = 1010;
inline constexpr int kAboutDownloadLink = 1011;
inline constexpr int kProgressWaitLabel = 1020;
inline constexpr int kProgressStepText = 1021;

// Commands every dialog understands: OK (also Enter), and Cancel (also Escape and the close box).
inline constexpr int kCommandOk = 1;
inline constexpr int kCommandCancel = 2;

// Window and control style bits.
inline constexpr uint32_t kStyleChild = 0x40000000;
inline constexpr uint32_t kStyleVisible = 0x10000000;
inline constexpr uint32_t kStyleGroup = 0x00020000;
inline constexpr uint32_t kStyleTabStop = 0x00010000;
inline constexpr uint32_t kButtonDefaultPush = 0x1;
inline constexpr uint32_t kButtonAutoCheckBox = 0x3;
inline constexpr uint32_t kButtonTypeMask = 0xF;
inline constexpr uint32_t kStaticLeft = 0x0;
inline constexpr uint32_t kStaticCentre = 0x1;
inline constexpr uint32_t kStaticBitmap = 0xE;
inline constexpr uint32_t kStaticTypeMask = 0x1F;
inline constexpr uint32_t kStaticNotify = 0x100;
inline constexpr uint32_t kExStyleWindowEdge = 0x100;
// Pop-up with caption and system menu, modal frame, its own font, the fixed system font.
inline constexpr uint32_t kDialogStyle = 0x80C800C8;

inline constexpr std::u16string_view kButtonClass = u"button";
inline constexpr std::u16string_view kStaticClass = u"static";

struct DialogFont {
  std::u16string face;
  int points = 8;
  int weight = 0;   // 0 for the face's normal weight
  int charset = 1;  // 1 for the default character set
};

struct DialogControl {
  int id = 0;
  std::u16string className;
  std::u16string text;
  int x = 0, y = 0, width = 0, height = 0;
  uint32_t style = 0;
  uint32_t exStyle = 0;
};

struct DialogTemplate {
  int id = 0;
  std::u16string caption;
  int x = 0, y = 0, width = 0, height = 0;
  uint32_t style = kDialogStyle;
  DialogFont font;
  std::vector<DialogControl> controls;
};

// Settings (101): OK and the three automatic check boxes 1002–1004.
DialogTemplate SettingsDialogTemplate();
// About (102): OK, the picture 1004, the version 1007, the help and download labels 1008 and 1010
// and the two site addresses 1009 and 1011, which send commands when clicked.
DialogTemplate AboutDialogTemplate();
// Export progress (103): the wait label 1020 and the current step 1021.
DialogTemplate ProgressDialogTemplate();

bool IsAutoCheckBox(const DialogControl& control);
bool IsDefaultPushButton(const DialogControl& control);
bool IsPicture(const DialogControl& control);
// True for controls that report a click to the dialog: buttons, check boxes and notifying statics.
bool SendsCommand(const DialogControl& control);

}  // namespace ui

#pragma once

#include <string>

// The dialogs' texts from the string table "TideLinkTool", looked up once. A text that is
// missing is empty, and the dialog then keeps its template's own text.
namespace ui {

inline constexpr std::u16string_view kToolStringTable = u"TideLinkTool";

struct DialogTexts {
  std::u16string versionText;  // "version: <plug-in version>"
  std::u16string aboutTitle;
  std::u16string aboutSupportLabel;
  std::u16string aboutDownloadLabel;
  std::u16string settingsTitle;
  std::u16string cameraSyncLabel;
  std::u16string cameraSyncTip;
  std::u16string repairModeLabel;
  std::u16string repairModeTip;
  std::u16string optimizeLabel;
  std::u16string optimizeTip;
  std::u16string exportTitle;
  std::u16string daeFilesText;
  std::u16string allFilesText;
  std::u16string progressTitle;
  std::u16string progressWaitLabel;

  // Needs a bound host; without its resource service every looked-up text is empty.
  static DialogTexts Load();
};

// The text of `key` in "TideLinkTool"; empty when missing.
std::u16string ToolText(std::u16string_view key);

}  // namespace ui

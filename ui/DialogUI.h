#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ui/DialogResources.h"
#include "ui/DialogTexts.h"
#include "ui/MessageCatalog.h"
#include "ui/ProgressWindow.h"
#include "ui/SettingsAccess.h"
#include "ui/UIBackend.h"
#include "ui/WebAddresses.h"

// The plug-in's one user-interface object: the About and Settings dialogs, the export's save
// dialog and progress window, every message box and the web links. All operations belong on the
// host's main thread; only the progress window runs on a thread of its own.
class DialogUI {
public:
  // The process-wide instance, created on first use (thread-safe) with the backend the
  // environment selects (UIBackendFactory.h) and the pictures beside the module. Needs a bound
  // host, whose texts and main window it reads once.
  static DialogUI& Instance();
  // Makes the process-wide instance with `backend` instead of the one the environment selects;
  // false, changing nothing, when an instance exists already.
  static bool CreateInstance(std::unique_ptr<ui::UIBackend> backend);
  // Destroys the instance at module unload: the progress window is closed and its thread ended.
  static void DestroyInstance();

  // Reads the texts and the host's main window, and loads the pictures from `pictureFolder`.
  DialogUI(std::unique_ptr<ui::UIBackend> backend, std::u16string_view pictureFolder);
  DialogUI(const DialogUI&) = delete;
  DialogUI& operator=(const DialogUI&) = delete;

  // Modal dialogs owned by the host window; they return when closed.
  void ShowAbout();
  // Each check box stores its setting in `settings` the moment it is clicked.
  void ShowSettings(ui::SettingsAccess& settings);

  // The path the user chose for the COLLADA file, with ".dae" added when it has no '.' at all;
  // empty when cancelled. `defaultName` may be a full path; with an initial folder only its file
  // name is offered.
  std::u16string ChooseExportFile(std::u16string_view defaultName, std::u16string_view initialFolder);
  // Keeps the user out of the host during an export, and lets them back in.
  void EnableHostWindow(bool enable);

  // The export's progress window (ProgressWindow.h).
  void ShowProgress();
  void HideProgress();
  void SetProgressText(std::u16string_view text);
  void ProgressBehindHost();

  // A message box owned by the host window; the result of the button pressed. A caption holding
  // the product words gets the plug-in's small icon.
  int ShowMessage(std::u16string_view text, std::u16string_view caption, uint32_t flags);
  // Caption "Ombrel TideLink - <title>"; title and text are shown as they stand.
  void ShowTitledMessage(std::u16string_view title, std::u16string_view text, uint32_t flags);
  // One of the eight messages without placeholder, with its keys and flags from the catalogue.
  void ShowTitledMessage(ui::UserMessage message);

  // The named messages; their texts are filled with the argument.
  void ShowAlreadyOpen(std::u16string_view name);
  // True when the user pressed Yes. `minimumVersion` is the minimum renderer version as text
  // ("8.5"), which the caller formats, as it owns the renderer's version rules.
  bool AskOldVersion(std::u16string_view minimumVersion);
  bool AskNotRunning(std::u16string_view minimumVersion);
  void ShowExportComplete(std::u16string_view path);
  // Nothing to export: the view shows no 3D objects.
  void ShowExportFailed(std::u16string_view path);
  // The file at `path` could not be written; `reason` is the system's account of why.
  void ShowExportNotWritten(std::u16string_view path, std::u16string_view reason);

  // Opens `address` with the system's default action, shown normally.
  void OpenWebAddress(std::u16string_view address);

  // The web links, worked out once (WebAddresses.h).
  const std::u16string& GetQuery();
  const std::u16string& GetRootAddress();
  const std::u16string& GetSupportAddress();
  const std::u16string& GetDownloadAddress();

private:
  int ShowNamedMessage(ui::UserMessage message, std::u16string_view argument);

  std::unique_ptr<ui::UIBackend> backend_;
  const ui::DialogTexts texts_;
  const ui::WindowHandle hostWindow_;
  const ui::DialogResources resources_;
  ui::WebAddresses addresses_;
  ui::ProgressWindow progress_;  // last, so that it goes first
};

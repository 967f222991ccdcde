#pragma once

#include <cstdint>
#include <string_view>

// Every message box the plug-in shows: its title and message keys in "TideLinkTool" and its
// flags.
namespace ui {

enum class UserMessage {
  // Shown as they stand, through DialogUI::ShowTitledMessage.
  SaveFirst,
  SheetLayerInit,
  SheetLayerResume,
  SheetLayerCameraResume,
  MaterialWarning,
  VersionWarning,
  PerspectiveViewExport,
  ExportCanceled,
  // The message text takes one "%s"; shown through DialogUI's named functions.
  AlreadyOpen,
  OldVersion,
  NotRunning,
  ExportComplete,
  ExportFailed,
  // The file could not be written: the argument is the path and the system's reason.
  ExportNotWritten,
};

struct MessageDefinition {
  std::u16string_view titleKey;
  std::u16string_view messageKey;
  uint32_t flags;
  bool takesArgument;  // the message text is filled with one argument
};

const MessageDefinition& DefinitionOf(UserMessage message);

}  // namespace ui

#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tools/host/StandInServices.h"

inline constexpr uint32_t kDocumentChangedCode = 0x444F4343;  // 'DOCC': another drawing is active
inline constexpr uint32_t kDocumentClosingCode = 0x44434C53;  // 'DCLS': the active drawing closes
inline constexpr uint32_t kDocumentSavedCode = 0x64637073;    // 'dcps': a drawing was saved

// The drawings open in the host, one of them active, each known by its file name (empty for one
// never saved). The host's document service. Every change is told to the plug-in as a host tells
// it, on the calling (main) thread: 'DOCC' once another drawing is active, 'DCLS' while the
// closing drawing is still the active one, 'dcps' after a save, once the name is the new one.
class OpenDrawings : public CountedService<IDocumentService> {
public:
  OpenDrawings(NotificationService& notifications, std::u16string firstFileName);

  // The active drawing's file; empty when it was never saved or no drawing is open.
  TXString GetActiveDocumentFileName() override;

  // Activates the open drawing of that file, opening it first when none is open.
  void Activate(const std::u16string& fileName);
  // Activates the drawing that was active before the last change; false when it is not open.
  bool ActivatePrevious();
  // Saves the active drawing under `fileName` (its own name or another); false when none is open.
  bool SaveActive(const std::u16string& fileName);
  // Closes the active drawing; the one active before it, else the last opened, becomes active.
  // False when none is open.
  bool CloseActive();
  // The active drawing's file name; nothing when no drawing is open.
  std::optional<std::u16string> ActiveFileName();
  // The drawing the host was started with (the one that holds the model) is open and active.
  bool IsFirstActive();

private:
  void ActivateIndex(size_t index);

  NotificationService& notifications_;
  std::mutex mutex_;
  std::vector<std::u16string> fileNames_;
  std::optional<size_t> active_;
  std::optional<size_t> previous_;
  std::optional<size_t> first_;
};

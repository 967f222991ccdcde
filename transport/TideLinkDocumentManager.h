#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string_view>

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/MessageWindow.h"

class TideLinkDocument;

// The process-wide owner of link documents and the plug-in's view of the other side: segment
// numbers unique in the process, the connection registry through which a renderer finds live
// documents, and the renderer's windows that get the update message. Created on first use and
// destroyed at module unload, releasing the documents still open. Safe from any thread except
// where noted.
class TideLinkDocumentManager {
public:
  static TideLinkDocumentManager& Instance();

  TideLinkDocumentManager(const TideLinkDocumentManager&) = delete;
  TideLinkDocumentManager& operator=(const TideLinkDocumentManager&) = delete;

  // Prunes stale announcements and removes the mappings that ended processes of this user left
  // behind, then opens a document of `blockCount` blocks under `name`; null when it cannot be
  // opened (for example while another process holds a mapping of that name). Main thread only,
  // as CloseDocument.
  std::shared_ptr<TideLinkDocument> OpenDocument(const std::u16string& name, uint64_t blockCount);
  // Closes the document and forgets it; a document the manager does not know is only closed.
  void CloseDocument(const std::shared_ptr<TideLinkDocument>& document);

  // Names of the announced documents whose mapping is still live and whose value equals `filter`
  // (any value when 0), in registry order. Values whose mapping is gone are deleted on the way;
  // values of another type or size are neither listed nor deleted.
  std::vector<std::u16string> ListConnections(uint32_t filter);

  // The next segment number of the process; the first is 1, none is ever given twice.
  uint32_t NextSegmentNumber();

  // Posts the update message with these parameters to every renderer window. 0 when at least one
  // window got it; -1 when none did or another notification held the lock for 25 ms.
  int32_t NotifyRenderer(uint64_t wParam, int64_t lParam);

  // Top-level, visible, unowned windows of renderer processes, found by image path and window
  // class; processes are examined in parallel, so the order is not fixed.
  std::vector<platform::WindowHandle> FindRendererWindows();

  // Announces a live document under its name (as given, backslashes kept); false when the value
  // could not be written.
  static bool RegisterConnection(std::u16string_view name);
  // Withdraws the announcement; a missing value or key is no failure.
  static void UnregisterConnection(std::u16string_view name);
  // These three and ListConnections run on the main thread, so each waits for a busy registry
  // for half a second at most.

private:
  TideLinkDocumentManager() = default;
  // Closes the documents still open, whoever else still holds them: their mappings, segments and
  // announcements must not outlive the module.
  ~TideLinkDocumentManager();
  // One notification at a time; a caller waits until the deadline at most.
  bool BeginNotification(std::chrono::steady_clock::time_point deadline);
  void EndNotification();

  using DocumentSet = std::unordered_set<std::shared_ptr<TideLinkDocument>>;
  static DocumentSet MakeDocumentSet();

  DocumentSet openDocuments = MakeDocumentSet();
  std::atomic<uint32_t> segmentCounter{0};
  std::mutex notifyMutex;
  std::condition_variable notifyDone;
  bool notifying = false;
  std::vector<platform::WindowHandle> rendererWindows;  // only while notifying
};

#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string_view>

#include <tbb/concurrent_vector.h>

#include "platform/MessageWindow.h"

// The process-wide side of the link: segment numbers unique in the process, the connection
// registry through which a renderer finds live documents, and the update message to the renderer.
// Created on first use; safe from any thread except where noted.
class TideLinkDocumentManager {
public:
  static TideLinkDocumentManager& Instance();

  TideLinkDocumentManager(const TideLinkDocumentManager&) = delete;
  TideLinkDocumentManager& operator=(const TideLinkDocumentManager&) = delete;

  // The next segment number of the process; the first is 1, none is ever given twice.
  uint32_t NextSegmentNumber();

  // Posts the update message with these parameters to every renderer window. 0 when at least one
  // window got it; -1 when none did or another notification held the lock for 25 ms.
  int32_t NotifyRenderer(uint64_t wParam, int64_t lParam);

  // Top-level, visible, unowned windows of renderer processes, in enumeration order.
  tbb::concurrent_vector<platform::WindowHandle> FindRendererWindows();

  // Announces a live document under its name (as given, backslashes kept). Failures are ignored.
  static void RegisterConnection(std::u16string_view name);
  // Withdraws the announcement; a missing value or key is no failure.
  static void UnregisterConnection(std::u16string_view name);

private:
  TideLinkDocumentManager() = default;
  // One notification at a time; a caller waits until the deadline at most.
  bool BeginNotification(std::chrono::steady_clock::time_point deadline);
  void EndNotification();

  std::atomic<uint32_t> segmentCounter{0};
  std::mutex notifyMutex;
  std::condition_variable notifyDone;
  bool notifying = false;
  tbb::concurrent_vector<platform::WindowHandle> rendererWindows;  // only while notifying
};

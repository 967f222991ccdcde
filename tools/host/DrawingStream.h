#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/host/Drawing.h"
#include "tools/host/DrawingOperations.h"
#include "tools/host/StandInServices.h"

// How the stream ends; every choice exists so that each way a receiver can see a stream end can be
// reached from the host's command line.
struct DrawingStreamSettings {
  bool viewReport = true;                // kind 15 after the last batch
  // Kind 4 once this many data records were sent; when the drawing has fewer, kind 4 is the last
  // record of the stream (after the view report, or after the open endless batch).
  std::optional<uint64_t> cancelAfter;
  bool endlessBatch = false;             // the last batch gets no kind 2 and no view report follows
  bool verbose = false;                  // one line per batch
  size_t maxBatchOperations = DrawingOperations::kMaxBatchOperations;
};

// The host's scene-change service. Each registered handler gets its own delivery thread, which
// sends the drawing as batches (kind 1, data records, kind 2), then the view report, then each
// change sent to it, and otherwise waits until the handler is unregistered. A delivery begins at
// the first BeginPendingDeliveries after the registration: the host's main loop calls it before
// each tick, so that a handler registered inside a command sees its first record only after that
// command has returned.
class DrawingStream : public CountedService<ISceneChangeService> {
public:
  explicit DrawingStream(DrawingStreamSettings settings = {});
  // Ends and joins every delivery. Must not run on a delivery thread.
  ~DrawingStream();
  DrawingStream(const DrawingStream&) = delete;
  DrawingStream& operator=(const DrawingStream&) = delete;

  // The drawing sent to handlers registered from now on; none sends only the framing records.
  void SetDrawing(std::shared_ptr<const Drawing> drawing);
  // Queues `change` (its batch, then the view report when it has one) for every registered
  // handler, after what its delivery is sending now. False when no handler is registered.
  bool SendChange(std::shared_ptr<const DrawingOperations> change);
  // What GetActiveView answers.
  void SetActiveView(int64_t viewId, int32_t pane);
  void BeginPendingDeliveries();
  // Waits until no begun delivery is still sending: each has sent its last record (of the drawing
  // and of every change queued for it), holds its endless batch open, or has stopped. False when
  // `deadline` came first.
  bool WaitUntilQuiet(std::chrono::steady_clock::time_point deadline);
  bool IsQuiet();
  // True when a handler is registered and every registered one has been sent the drawing and
  // every change queued for it.
  bool IsDrawingDelivered();
  std::shared_ptr<const Drawing> drawing();
  // True once the handler registered under `name` will get nothing more until it unregisters:
  // the stream has ended (last record sent) or its endless batch is open. False for unknown names.
  bool IsDeliveryComplete(const TXString& name);
  // When a delivery last finished sending the drawing's batches (before any view report).
  std::optional<std::chrono::steady_clock::time_point> DrawingSentAt();
  // For each change queued so far, in the order queued: the moment a delivery began to hand it
  // to its handler (just before the begin record of its first batch); none while not yet handed.
  std::vector<std::optional<std::chrono::steady_clock::time_point>> ChangesHandedAt();

  bool IsHandlerRegistered(const TXString& name) override;
  // False when `handler` is null or `name` is taken.
  bool RegisterHandler(const TXString& name, ISceneOperationHandler* handler, int32_t options) override;
  // Safe from any thread, a delivery thread included (the handler may unregister itself inside
  // OnOperation). From any other thread it returns only once the handler's delivery thread has
  // finished, so the handler is never called again afterwards.
  void UnregisterHandler(const TXString& name) override;
  void GetActiveView(int64_t& viewId, int32_t& pane) override;
  // Unregisters every handler, as UnregisterHandler does, and gives their names.
  std::vector<std::u16string> UnregisterAll();
  // Stops every delivery and waits for its thread, leaving the handlers registered: after this
  // no handler is called again, so their owner may go away (the module before it is unloaded).
  // Not from a delivery thread.
  void HaltDeliveries();

private:
  struct QueuedChange {
    size_t number = 0;  // in the order SendChange queued it
    std::shared_ptr<const DrawingOperations> operations;
  };

  struct Delivery {
    std::u16string name;
    ISceneOperationHandler* handler = nullptr;
    std::shared_ptr<const DrawingOperations> operations;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<QueuedChange> changes;  // queued, not yet sent
    bool begin = false;
    bool stop = false;
    bool complete = false;
    std::thread thread;
    std::thread::id threadId;  // set once, before anyone else sees the delivery
    std::mutex joinMutex;  // one joiner, whichever of unregister and halt comes first
  };

  void Deliver(Delivery& delivery);
  // Sends the changes queued for `delivery` until it is stopped; each one sent is no longer
  // counted as streaming.
  void DeliverChanges(Delivery& delivery);
  bool SendBatches(Delivery& delivery, const DrawingOperations& operations);
  // Sends one record unless the delivery was stopped; false when it was.
  bool Send(Delivery& delivery, int32_t kind, const void* data);
  void Report(const Delivery& delivery, const std::string& event);
  void JoinRetired();
  static void Stop(Delivery& delivery);
  static void Join(Delivery& delivery);
  void StreamingEnded();

  const DrawingStreamSettings settings_;
  std::mutex mutex_;
  std::shared_ptr<const Drawing> drawing_;
  std::map<std::u16string, std::shared_ptr<Delivery>> deliveries_;
  // Deliveries unregistered from their own thread, which cannot join itself.
  std::vector<std::shared_ptr<Delivery>> retired_;
  size_t streaming_ = 0;  // deliveries begun and still sending their drawing, and queued changes
  std::condition_variable quiet_;
  std::optional<std::chrono::steady_clock::time_point> drawingSentAt_;
  std::vector<std::optional<std::chrono::steady_clock::time_point>> changesHandedAt_;  // per queued change
  int64_t viewId_ = 1;
  int32_t pane_ = 0;
};

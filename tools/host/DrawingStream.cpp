#include "tools/host/DrawingStream.h"

#include <algorithm>
#include <utility>

#include "platform/SteadyClock.h"
#include "platform/TextConversion.h"
#include "tools/host/HostConsole.h"

DrawingStream::DrawingStream(DrawingStreamSettings settings) : settings_(settings) {}

DrawingStream::~DrawingStream() {
  UnregisterAll();
  JoinRetired();
}

std::vector<std::u16string> DrawingStream::UnregisterAll() {
  std::vector<std::u16string> names;
  {
    std::lock_guard lock(mutex_);
    for (const auto& entry : deliveries_) names.push_back(entry.first);
  }
  for (const std::u16string& name : names) UnregisterHandler(TXString(name));
  return names;
}

void DrawingStream::SetDrawing(std::shared_ptr<const Drawing> drawing) {
  std::lock_guard lock(mutex_);
  drawing_ = std::move(drawing);
}

bool DrawingStream::SendChange(std::shared_ptr<const DrawingOperations> change) {
  std::lock_guard lock(mutex_);
  if (deliveries_.empty()) return false;
  const size_t number = changesHandedAt_.size();
  changesHandedAt_.emplace_back();
  for (auto& [name, delivery] : deliveries_) {
    {
      std::lock_guard deliveryLock(delivery->mutex);
      delivery->changes.push_back(QueuedChange{number, change});
    }
    ++streaming_;
    delivery->wake.notify_all();
  }
  return !deliveries_.empty();
}

void DrawingStream::SetActiveView(int64_t viewId, int32_t pane) {
  std::lock_guard lock(mutex_);
  viewId_ = viewId;
  pane_ = pane;
}

void DrawingStream::GetActiveView(int64_t& viewId, int32_t& pane) {
  std::lock_guard lock(mutex_);
  viewId = viewId_;
  pane = pane_;
}

bool DrawingStream::IsHandlerRegistered(const TXString& name) {
  std::lock_guard lock(mutex_);
  return deliveries_.count(name.GetStdUString()) != 0;
}

bool DrawingStream::RegisterHandler(const TXString& name, ISceneOperationHandler* handler, int32_t) {
  if (!handler) return false;
  JoinRetired();
  auto delivery = std::make_shared<Delivery>();
  delivery->name = name.GetStdUString();
  delivery->handler = handler;
  {
    std::lock_guard lock(mutex_);
    if (deliveries_.count(delivery->name) != 0) return false;
    if (drawing_) delivery->operations = std::make_shared<const DrawingOperations>(drawing_, settings_.maxBatchOperations);
    deliveries_.emplace(delivery->name, delivery);
    // Started under the lock, so that an unregister never finds the delivery without its thread.
    delivery->thread = std::thread([this, raw = delivery.get()] { Deliver(*raw); });
    delivery->threadId = delivery->thread.get_id();
  }
  HostConsole::PrintLine("scene handler registered: \"" + platform::Utf8FromUtf16(name) + "\"");
  return true;
}

void DrawingStream::UnregisterHandler(const TXString& name) {
  std::shared_ptr<Delivery> delivery;
  {
    std::lock_guard lock(mutex_);
    const auto found = deliveries_.find(name.GetStdUString());
    if (found != deliveries_.end()) {
      delivery = std::move(found->second);
      deliveries_.erase(found);
    }
  }
  if (delivery) {
    Stop(*delivery);
    HostConsole::PrintLine("scene handler unregistered: \"" + platform::Utf8FromUtf16(name) + "\"");
    if (delivery->threadId == std::this_thread::get_id()) {
      // Inside the handler's own OnOperation: the thread ends when that call returns.
      std::lock_guard lock(mutex_);
      retired_.push_back(std::move(delivery));
      return;
    }
    Join(*delivery);
  }
  JoinRetired();
}

void DrawingStream::HaltDeliveries() {
  std::vector<std::shared_ptr<Delivery>> running;
  {
    std::lock_guard lock(mutex_);
    for (const auto& entry : deliveries_) running.push_back(entry.second);
  }
  for (const auto& delivery : running) Stop(*delivery);
  for (const auto& delivery : running) Join(*delivery);
  JoinRetired();
}

void DrawingStream::Stop(Delivery& delivery) {
  {
    std::lock_guard lock(delivery.mutex);
    delivery.stop = true;
  }
  delivery.wake.notify_all();
}

void DrawingStream::Join(Delivery& delivery) {
  std::lock_guard lock(delivery.joinMutex);
  if (delivery.thread.joinable()) delivery.thread.join();
}

void DrawingStream::BeginPendingDeliveries() {
  std::lock_guard lock(mutex_);
  for (auto& [name, delivery] : deliveries_) {
    {
      std::lock_guard deliveryLock(delivery->mutex);
      if (delivery->begin || delivery->stop) continue;
      delivery->begin = true;
    }
    ++streaming_;
    delivery->wake.notify_all();
  }
}

bool DrawingStream::IsQuiet() {
  std::lock_guard lock(mutex_);
  return streaming_ == 0;
}

bool DrawingStream::IsDrawingDelivered() {
  std::lock_guard lock(mutex_);
  if (deliveries_.empty() || streaming_ != 0) return false;
  return std::all_of(deliveries_.begin(), deliveries_.end(), [](const auto& entry) {
    std::lock_guard deliveryLock(entry.second->mutex);
    return entry.second->complete;
  });
}

std::shared_ptr<const Drawing> DrawingStream::drawing() {
  std::lock_guard lock(mutex_);
  return drawing_;
}

bool DrawingStream::WaitUntilQuiet(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  if (deadline == std::chrono::steady_clock::time_point::max()) {
    quiet_.wait(lock, [&] { return streaming_ == 0; });
    return true;
  }
  return quiet_.wait_until(lock, deadline, [&] { return streaming_ == 0; });
}

void DrawingStream::StreamingEnded() {
  {
    std::lock_guard lock(mutex_);
    --streaming_;
  }
  quiet_.notify_all();
}

bool DrawingStream::IsDeliveryComplete(const TXString& name) {
  std::shared_ptr<Delivery> delivery;
  {
    std::lock_guard lock(mutex_);
    const auto found = deliveries_.find(name.GetStdUString());
    if (found == deliveries_.end()) return false;
    delivery = found->second;
  }
  std::lock_guard lock(delivery->mutex);
  return delivery->complete;
}

void DrawingStream::JoinRetired() {
  std::vector<std::shared_ptr<Delivery>> joinable;
  {
    std::lock_guard lock(mutex_);
    std::erase_if(retired_, [&](std::shared_ptr<Delivery>& delivery) {
      if (delivery->threadId == std::this_thread::get_id()) return false;
      joinable.push_back(std::move(delivery));
      return true;
    });
  }
  for (const auto& delivery : joinable) Join(*delivery);
}

bool DrawingStream::Send(Delivery& delivery, int32_t kind, const void* data) {
  {
    std::lock_guard lock(delivery.mutex);
    if (delivery.stop) return false;
  }
  // Called without any lock: the handler may block on its own locks or unregister itself.
  delivery.handler->OnOperation(VGS::Operation{kind, data});
  return true;
}

void DrawingStream::Report(const Delivery& delivery, const std::string& event) {
  HostConsole::PrintLine("scene stream to \"" + platform::Utf8FromUtf16(delivery.name) + "\": " + event);
}

void DrawingStream::Deliver(Delivery& delivery) {
  // Whatever was queued and never sent is no longer waited for once the delivery ends.
  struct UnsentChanges {
    DrawingStream& stream;
    Delivery& delivery;
    ~UnsentChanges() {
      size_t unsent = 0;
      {
        std::lock_guard lock(delivery.mutex);
        unsent = std::exchange(delivery.changes, {}).size();
      }
      if (unsent == 0) return;
      {
        std::lock_guard lock(stream.mutex_);
        stream.streaming_ -= unsent;
      }
      stream.quiet_.notify_all();
    }
  } unsentChanges{*this, delivery};
  {
    std::unique_lock lock(delivery.mutex);
    delivery.wake.wait(lock, [&] { return delivery.begin || delivery.stop; });
    if (!delivery.begin) return;
  }
  // Counted as streaming from its begin until it has sent its last record or was stopped.
  bool streaming = true;
  struct StreamingGuard {
    DrawingStream& stream;
    bool& streaming;
    ~StreamingGuard() {
      if (streaming) stream.StreamingEnded();
    }
  } guard{*this, streaming};

  const std::vector<std::vector<VGS::Operation>> noBatches;
  const auto& batches = delivery.operations ? delivery.operations->batches() : noBatches;
  const uint64_t cancelAfter = settings_.cancelAfter.value_or(UINT64_MAX);
  uint64_t sent = 0;
  bool cancelled = false;

  // Runs the body of the stream; false as soon as the delivery was stopped.
  const auto stream = [&]() -> bool {
    if (sent >= cancelAfter) return cancelled = true;
    const size_t batchCount = settings_.endlessBatch ? std::max<size_t>(batches.size(), 1) : batches.size();
    for (size_t batch = 0; batch < batchCount; ++batch) {
      if (!Send(delivery, VGS::kBeginBatch, nullptr)) return false;
      if (batch < batches.size()) {
        for (const VGS::Operation& operation : batches[batch]) {
          if (!Send(delivery, operation.kind, operation.data)) return false;
          if (++sent >= cancelAfter) return cancelled = true;
        }
      }
      if (settings_.verbose) {
        Report(delivery, "batch " + std::to_string(batch + 1) + " of " + std::to_string(batchCount) + ", " +
                             std::to_string(batch < batches.size() ? batches[batch].size() : 0) + " operations");
      }
      if (settings_.endlessBatch && batch + 1 == batchCount) {
        Report(delivery, "batch " + std::to_string(batch + 1) + " left open after " + std::to_string(sent) + " operations");
        return !settings_.cancelAfter.has_value() || (cancelled = true);
      }
      if (!Send(delivery, VGS::kEndBatch, nullptr)) return false;
    }
    Report(delivery, std::to_string(sent) + " operations in " + std::to_string(batches.size()) + " batches sent");
    {
      std::lock_guard lock(mutex_);
      drawingSentAt_ = std::chrono::steady_clock::now();
    }
    if (settings_.viewReport) {
      const VGS::CameraReport emptyView{};
      const VGS::CameraReport& view = delivery.operations ? delivery.operations->view() : emptyView;
      if (!Send(delivery, VGS::kViewChanged, &view)) return false;
    }
    return !settings_.cancelAfter.has_value() || (cancelled = true);
  };

  if (!stream()) return;
  if (cancelled) {
    Report(delivery, "end of stream (kind 4) after " + std::to_string(sent) + " operations");
    if (!Send(delivery, VGS::kEndOfStream, nullptr)) return;
  }

  {
    std::lock_guard lock(delivery.mutex);
    delivery.complete = true;
  }
  streaming = false;
  StreamingEnded();
  DeliverChanges(delivery);
}

void DrawingStream::DeliverChanges(Delivery& delivery) {
  for (;;) {
    QueuedChange change;
    {
      std::unique_lock lock(delivery.mutex);
      delivery.wake.wait(lock, [&] { return delivery.stop || !delivery.changes.empty(); });
      if (delivery.stop) return;
      change = delivery.changes.front();
    }
    {
      std::lock_guard lock(mutex_);
      std::optional<std::chrono::steady_clock::time_point>& handedAt = changesHandedAt_[change.number];
      if (!handedAt) handedAt = platform::SteadyClock::Now();
    }
    if (!SendBatches(delivery, *change.operations)) return;
    {
      std::lock_guard lock(delivery.mutex);
      delivery.changes.pop_front();
    }
    StreamingEnded();
  }
}

bool DrawingStream::SendBatches(Delivery& delivery, const DrawingOperations& operations) {
  for (const std::vector<VGS::Operation>& batch : operations.batches()) {
    if (!Send(delivery, VGS::kBeginBatch, nullptr)) return false;
    for (const VGS::Operation& operation : batch) {
      if (!Send(delivery, operation.kind, operation.data)) return false;
    }
    if (!Send(delivery, VGS::kEndBatch, nullptr)) return false;
  }
  if (settings_.verbose) {
    Report(delivery, "change of " + std::to_string(operations.operationCount()) + " operations sent");
  }
  return !operations.reportsView() || Send(delivery, VGS::kViewChanged, &operations.view());
}

std::vector<std::optional<std::chrono::steady_clock::time_point>> DrawingStream::ChangesHandedAt() {
  std::lock_guard lock(mutex_);
  return changesHandedAt_;
}

std::optional<std::chrono::steady_clock::time_point> DrawingStream::DrawingSentAt() {
  std::lock_guard lock(mutex_);
  return drawingSentAt_;
}

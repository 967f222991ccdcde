// The host's scene-change service as a receiver sees it: framing, the ways a stream ends, and
// unregistering from any thread while records are in flight. Each wait has a generous limit and
// fails the test rather than hanging it; nothing here measures time.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/host/DrawingStream.h"
#include "tools/host/MainLoop.h"
#include "tools/host/SampleDrawing.h"

namespace {

using namespace std::chrono_literals;
constexpr auto kPatience = 30s;

const TXString kName(u"TestHandler");

// Runs `work` on another thread and aborts the whole test program if it does not return in
// time: a deadlock must show up as a failure, not as a hung suite.
void FinishesInTime(const std::function<void()>& work, const char* what) {
  std::promise<void> finished;
  std::future<void> future = finished.get_future();
  std::thread worker([&] {
    work();
    finished.set_value();
  });
  if (future.wait_for(kPatience) != std::future_status::ready) {
    std::fprintf(stderr, "deadlock: %s did not return\n", what);
    std::abort();
  }
  worker.join();
}

// Records every kind it is given, and the thread it was given on; OnStep may act inside the call.
class RecordingHandler : public ISceneOperationHandler {
public:
  void OnOperation(const VGS::Operation& operation) override {
    {
      std::lock_guard lock(mutex_);
      kinds_.push_back(operation.kind);
      threads_.push_back(std::this_thread::get_id());
      if (operation.kind == VGS::kViewChanged && operation.data) {
        view_ = *static_cast<const VGS::CameraReport*>(operation.data);
      }
    }
    changed_.notify_all();
    if (onStep) onStep(operation);
  }

  std::vector<int32_t> kinds() const {
    std::lock_guard lock(mutex_);
    return kinds_;
  }
  std::vector<std::thread::id> threads() const {
    std::lock_guard lock(mutex_);
    return threads_;
  }
  VGS::CameraReport view() const {
    std::lock_guard lock(mutex_);
    return view_;
  }
  bool WaitForCount(size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kPatience, [&] { return kinds_.size() >= count; });
  }

  std::function<void(const VGS::Operation&)> onStep;

private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<int32_t> kinds_;
  std::vector<std::thread::id> threads_;
  VGS::CameraReport view_{};
};

bool IsData(int32_t kind) { return kind >= VGS::kRemoveGeometry && kind <= VGS::kSetMaterialProperties; }

size_t DataCount(const std::vector<int32_t>& kinds) { return std::count_if(kinds.begin(), kinds.end(), IsData); }

// Checks begin/end pairs: no data outside a batch, no batch inside a batch. Gives the number of
// batches, and whether the last one is still open.
struct Framing {
  size_t batches = 0;
  bool open = false;
};
Framing CheckFraming(const std::vector<int32_t>& kinds) {
  Framing framing;
  for (int32_t kind : kinds) {
    if (kind == VGS::kBeginBatch) {
      EXPECT_FALSE(framing.open) << "a batch began inside a batch";
      framing.open = true;
      ++framing.batches;
    } else if (kind == VGS::kEndBatch) {
      EXPECT_TRUE(framing.open) << "an end without a begin";
      framing.open = false;
    } else if (IsData(kind)) {
      EXPECT_TRUE(framing.open) << "data outside a batch";
    }
  }
  return framing;
}

DrawingStreamSettings Settings(bool viewReport, std::optional<uint64_t> cancelAfter, bool endlessBatch) {
  DrawingStreamSettings settings;
  settings.viewReport = viewReport;
  settings.cancelAfter = cancelAfter;
  settings.endlessBatch = endlessBatch;
  return settings;
}

class DrawingStreamTest : public ::testing::Test {
protected:
  void Start(DrawingStreamSettings settings) {
    settings.maxBatchOperations = 8;  // several batches even for the small sample
    stream_ = std::make_unique<DrawingStream>(settings);
    stream_->SetDrawing(drawing_);
    ASSERT_TRUE(stream_->RegisterHandler(kName, &handler_, 0));
    stream_->BeginPendingDeliveries();
  }

  bool WaitUntilComplete() {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!stream_->IsDeliveryComplete(kName)) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }

  void TearDown() override {
    if (stream_) FinishesInTime([&] { stream_.reset(); }, "the stream's destructor");
  }

  size_t TotalData() const { return DrawingOperations(drawing_).operationCount(); }

  std::shared_ptr<const Drawing> drawing_ = std::make_shared<const Drawing>(MakeSampleDrawing());
  RecordingHandler handler_;
  std::unique_ptr<DrawingStream> stream_;
};

TEST_F(DrawingStreamTest, DeliversTheWholeDrawingInBatchesOnItsOwnThreadThenTheViewReport) {
  Start({});
  ASSERT_TRUE(WaitUntilComplete());
  const std::vector<int32_t> kinds = handler_.kinds();
  const Framing framing = CheckFraming(kinds);
  EXPECT_GT(framing.batches, 1u);
  EXPECT_FALSE(framing.open);
  EXPECT_EQ(DataCount(kinds), TotalData());
  ASSERT_FALSE(kinds.empty());
  EXPECT_EQ(kinds.front(), VGS::kBeginBatch);
  EXPECT_EQ(kinds.back(), VGS::kViewChanged);
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), VGS::kEndOfStream), 0);
  EXPECT_EQ(handler_.view().focalDistance, drawing_->view.focalDistance);

  for (std::thread::id thread : handler_.threads()) {
    EXPECT_NE(thread, std::this_thread::get_id());
    EXPECT_EQ(thread, handler_.threads().front()) << "one delivery, one thread";
  }
  FinishesInTime([&] { stream_->UnregisterHandler(kName); }, "UnregisterHandler after the stream");
  EXPECT_FALSE(stream_->IsHandlerRegistered(kName));
}

TEST_F(DrawingStreamTest, WithoutTheViewReportTheLastRecordEndsABatch) {
  Start(Settings(false, std::nullopt, false));
  ASSERT_TRUE(WaitUntilComplete());
  const std::vector<int32_t> kinds = handler_.kinds();
  EXPECT_FALSE(CheckFraming(kinds).open);
  EXPECT_EQ(kinds.back(), VGS::kEndBatch);
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), VGS::kViewChanged), 0);
}

TEST_F(DrawingStreamTest, CancelEndsTheStreamAfterExactlyNRecordsEvenInsideABatch) {
  Start(Settings(true, 11, false));  // 11 is not a multiple of the batch size, so it falls mid-batch
  ASSERT_TRUE(WaitUntilComplete());
  const std::vector<int32_t> kinds = handler_.kinds();
  EXPECT_EQ(DataCount(kinds), 11u);
  EXPECT_EQ(kinds.back(), VGS::kEndOfStream);
  EXPECT_TRUE(IsData(kinds[kinds.size() - 2])) << "no end record before kind 4";
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), VGS::kViewChanged), 0);
}

TEST_F(DrawingStreamTest, CancelBeyondTheDrawingComesAfterTheViewReport) {
  Start(Settings(true, 1000000, false));
  ASSERT_TRUE(WaitUntilComplete());
  const std::vector<int32_t> kinds = handler_.kinds();
  EXPECT_EQ(DataCount(kinds), TotalData());
  ASSERT_GE(kinds.size(), 2u);
  EXPECT_EQ(kinds[kinds.size() - 2], VGS::kViewChanged);
  EXPECT_EQ(kinds.back(), VGS::kEndOfStream);
}

TEST_F(DrawingStreamTest, EndlessBatchStaysOpenUntilUnregisterWhichReturns) {
  Start(Settings(true, std::nullopt, true));
  ASSERT_TRUE(WaitUntilComplete());
  const std::vector<int32_t> kinds = handler_.kinds();
  EXPECT_TRUE(CheckFraming(kinds).open);
  EXPECT_EQ(DataCount(kinds), TotalData());
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), VGS::kViewChanged), 0);
  FinishesInTime([&] { stream_->UnregisterHandler(kName); }, "UnregisterHandler during an endless batch");
  EXPECT_EQ(handler_.kinds().size(), kinds.size()) << "nothing may follow the unregister";
}

TEST_F(DrawingStreamTest, HandlerCanUnregisterItselfInsideOnOperation) {
  std::atomic<int> calls{0};
  handler_.onStep = [&](const VGS::Operation&) {
    if (++calls == 5) stream_->UnregisterHandler(kName);
  };
  Start({});
  ASSERT_TRUE(handler_.WaitForCount(5));
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (stream_->IsHandlerRegistered(kName) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_FALSE(stream_->IsHandlerRegistered(kName));
  // Registering again under the same name joins the finished thread and starts a new delivery.
  RecordingHandler second;
  FinishesInTime([&] { ASSERT_TRUE(stream_->RegisterHandler(kName, &second, 0)); }, "RegisterHandler");
  stream_->BeginPendingDeliveries();
  ASSERT_TRUE(WaitUntilComplete());
  FinishesInTime([&] { stream_->UnregisterHandler(kName); }, "UnregisterHandler");
  EXPECT_EQ(DataCount(second.kinds()), TotalData());
  EXPECT_EQ(handler_.kinds().size(), 5u) << "the first handler got records after it unregistered";
}

TEST_F(DrawingStreamTest, UnregisterFromAnotherThreadWaitsForTheCallInFlightAndEndsTheStream) {
  std::promise<void> inside;
  std::atomic<bool> unregistering{false};
  std::atomic<bool> callReturned{false};
  std::atomic<int> callsAfterUnregister{0};
  std::atomic<bool> unregisterReturned{false};
  handler_.onStep = [&](const VGS::Operation& operation) {
    if (unregisterReturned) ++callsAfterUnregister;
    if (operation.kind != VGS::kSetGeometry || callReturned) return;
    inside.set_value();
    // Keep this batch in flight until the other thread is inside UnregisterHandler.
    while (!unregistering || stream_->IsHandlerRegistered(kName)) std::this_thread::yield();
    std::this_thread::sleep_for(20ms);
    callReturned = true;
  };
  Start({});
  ASSERT_EQ(inside.get_future().wait_for(kPatience), std::future_status::ready);
  FinishesInTime(
      [&] {
        unregistering = true;
        stream_->UnregisterHandler(kName);
        unregisterReturned = true;
      },
      "UnregisterHandler while a batch is in flight");
  EXPECT_TRUE(callReturned) << "UnregisterHandler returned while the handler was still being called";
  EXPECT_EQ(callsAfterUnregister, 0);
  EXPECT_LT(DataCount(handler_.kinds()), TotalData()) << "the rest of the drawing must not be sent";
}

TEST_F(DrawingStreamTest, HaltStopsEveryDeliveryButKeepsTheHandlersRegistered) {
  std::promise<void> started;
  std::atomic<int> calls{0};
  std::atomic<bool> halting{false};
  handler_.onStep = [&](const VGS::Operation&) {
    if (++calls != 3) return;
    started.set_value();
    // Still inside a batch when the halt comes.
    while (!halting) std::this_thread::yield();
    std::this_thread::sleep_for(20ms);
  };
  Start({});
  ASSERT_EQ(started.get_future().wait_for(kPatience), std::future_status::ready);
  FinishesInTime(
      [&] {
        halting = true;
        stream_->HaltDeliveries();
      },
      "HaltDeliveries");
  const size_t seen = handler_.kinds().size();
  EXPECT_LT(DataCount(handler_.kinds()), TotalData());
  EXPECT_TRUE(stream_->IsHandlerRegistered(kName));
  FinishesInTime([&] { stream_->UnregisterHandler(kName); }, "UnregisterHandler after a halt");
  EXPECT_EQ(handler_.kinds().size(), seen) << "a record came after the halt";
}

TEST_F(DrawingStreamTest, NothingIsSentBeforeDeliveriesMayBegin) {
  stream_ = std::make_unique<DrawingStream>();
  stream_->SetDrawing(drawing_);
  ASSERT_TRUE(stream_->RegisterHandler(kName, &handler_, 0));
  EXPECT_FALSE(stream_->IsDeliveryComplete(kName));
  FinishesInTime([&] { stream_->UnregisterHandler(kName); }, "UnregisterHandler before delivery began");
  EXPECT_TRUE(handler_.kinds().empty());
}

TEST_F(DrawingStreamTest, EachHandlerGetsTheWholeDrawingAndNamesAreUnique) {
  Start({});
  RecordingHandler other;
  const TXString otherName(u"OtherHandler");
  EXPECT_FALSE(stream_->RegisterHandler(kName, &other, 0)) << "a name already taken";
  EXPECT_FALSE(stream_->RegisterHandler(otherName, nullptr, 0));
  ASSERT_TRUE(stream_->RegisterHandler(otherName, &other, 0));
  stream_->BeginPendingDeliveries();
  ASSERT_TRUE(WaitUntilComplete());
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!stream_->IsDeliveryComplete(otherName) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(other.kinds(), handler_.kinds());
  EXPECT_NE(other.threads().front(), handler_.threads().front());
  EXPECT_EQ(stream_->UnregisterAll().size(), 2u);
}

TEST_F(DrawingStreamTest, EachChangeIsStampedJustBeforeItsFirstBatchIsHandedOver) {
  Start({});
  ASSERT_TRUE(WaitUntilComplete());
  std::vector<std::chrono::steady_clock::time_point> begins;
  handler_.onStep = [&](const VGS::Operation& operation) {
    if (operation.kind == VGS::kBeginBatch) begins.push_back(std::chrono::steady_clock::now());
  };
  DrawingChange change;
  change.movedInstances.push_back(drawing_->instances.front().id);
  const size_t before = handler_.kinds().size();
  const auto queued = std::chrono::steady_clock::now();
  for (int count = 0; count < 2; ++count) {
    ASSERT_TRUE(stream_->SendChange(std::make_shared<const DrawingOperations>(drawing_, change)));
  }
  ASSERT_TRUE(handler_.WaitForCount(before + 6));  // two of begin, move, end
  const auto stamps = stream_->ChangesHandedAt();
  ASSERT_EQ(stamps.size(), 2u);
  ASSERT_EQ(begins.size(), 2u);
  for (size_t index = 0; index < 2; ++index) {
    ASSERT_TRUE(stamps[index].has_value());
    EXPECT_LE(*stamps[index], begins[index]) << "change " << index;
    EXPECT_GE(*stamps[index], index ? begins[0] : queued) << "change " << index;
  }
}

// The main loop's ticks, as the plug-in receives them.
struct TickCounter {
  static void OnNotification(uint32_t code, intptr_t, void* context) {
    auto* self = static_cast<TickCounter*>(context);
    if (code == kAfterEventCode) ++self->ticks;
    if (self->unregisterOther) self->notifications->Unregister(kAfterEventCode, &OnNotification, self->other);
  }
  int ticks = 0;
  NotificationService* notifications = nullptr;
  TickCounter* other = nullptr;
  bool unregisterOther = false;
};

TEST(MainLoopTest, TicksUntilDoneAndLetsTheStreamBegin) {
  NotificationService notifications;
  DrawingStream stream;
  stream.SetDrawing(std::make_shared<const Drawing>(MakeSampleDrawing()));
  RecordingHandler handler;
  ASSERT_TRUE(stream.RegisterHandler(kName, &handler, 0));
  TickCounter counter;
  notifications.Register(kAfterEventCode, &TickCounter::OnNotification, &counter);

  MainLoop loop(notifications, &stream, 1ms);
  EXPECT_TRUE(loop.RunUntil([&] { return counter.ticks >= 3 && stream.IsDeliveryComplete(kName); }, kPatience));
  EXPECT_EQ(uint64_t(counter.ticks), loop.tickCount());
  EXPECT_FALSE(loop.RunUntil([] { return false; }, 20ms)) << "a timeout gives false";
  notifications.Unregister(kAfterEventCode, &TickCounter::OnNotification, &counter);
  const int ticks = counter.ticks;
  loop.Tick();
  EXPECT_EQ(counter.ticks, ticks) << "an unregistered callback was ticked";
}

TEST(MainLoopTest, ASteadyScheduleGoesOnAcrossCalls) {
  NotificationService notifications;
  TickCounter counter;
  notifications.Register(kAfterEventCode, &TickCounter::OnNotification, &counter);
  MainLoop loop(notifications, nullptr, std::chrono::hours(1));
  loop.SetSteadySchedule(true);
  loop.RunUntil([] { return false; }, 5ms);
  loop.RunUntil([] { return false; }, 5ms);
  EXPECT_EQ(counter.ticks, 1) << "the second call ticked before its turn";
  loop.SetSteadySchedule(false);
  loop.RunUntil([] { return false; }, 5ms);
  EXPECT_EQ(counter.ticks, 2) << "without a steady schedule a call ticks at once";
  notifications.Unregister(kAfterEventCode, &TickCounter::OnNotification, &counter);
}

TEST(MainLoopTest, NeverTicksWhileADeliveryIsSending) {
  NotificationService notifications;
  DrawingStream stream;
  stream.SetDrawing(std::make_shared<const Drawing>(MakeSampleDrawing()));
  RecordingHandler handler;
  // A slow receiver, so that a tick would fall between two batches if the loop allowed it.
  handler.onStep = [](const VGS::Operation&) { std::this_thread::sleep_for(1ms); };
  ASSERT_TRUE(stream.RegisterHandler(kName, &handler, 0));
  struct Probe {
    DrawingStream* stream;
    int ticks = 0;
    int ticksWhileSending = 0;
  } probe{&stream};
  const NotificationCallback onTick = [](uint32_t, intptr_t, void* context) {
    auto* self = static_cast<Probe*>(context);
    ++self->ticks;
    if (!self->stream->IsDeliveryComplete(kName)) ++self->ticksWhileSending;
  };
  notifications.Register(kAfterEventCode, onTick, &probe);
  MainLoop loop(notifications, &stream, 1ms);
  EXPECT_TRUE(loop.RunUntil([&] { return probe.ticks >= 3; }, kPatience));
  EXPECT_EQ(probe.ticksWhileSending, 0);
  EXPECT_EQ(handler.kinds().back(), VGS::kViewChanged) << "the first tick comes after the view report";
  stream.UnregisterHandler(kName);
}

TEST(MainLoopTest, ACallbackUnregisteredDuringAPostIsNotCalled) {
  NotificationService notifications;
  TickCounter first, second;
  first.notifications = &notifications;
  first.other = &second;
  first.unregisterOther = true;
  notifications.Register(kAfterEventCode, &TickCounter::OnNotification, &first);
  notifications.Register(kAfterEventCode, &TickCounter::OnNotification, &second);
  notifications.Post(kAfterEventCode, 0);
  EXPECT_EQ(first.ticks, 1);
  EXPECT_EQ(second.ticks, 0);
}

}  // namespace

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "link/BatchGate.h"
#include "link/ExportNaming.h"

namespace {

TEST(ExportNamingTest, TheFolderIsEverythingBeforeTheLastSeparator) {
  EXPECT_EQ(ExportFolderOf(u"house.dae"), u"house.dae");
  EXPECT_EQ(ExportFolderOf(u""), u"");
#ifdef _WIN32
  // The dialog is given the folder in the system's own spelling.
  EXPECT_EQ(ExportFolderOf(u"/home/ann/house.dae"), u"\\home\\ann");
  EXPECT_EQ(ExportFolderOf(u"C:/plans\\K\u00fcche/house.dae"), u"C:\\plans\\K\u00fcche");
#else
  EXPECT_EQ(ExportFolderOf(u"/home/ann/house.dae"), u"/home/ann");
  // A '\' is part of a name here.
  EXPECT_EQ(ExportFolderOf(u"/plans/a\\b.dae"), u"/plans");
#endif
}

TEST(BatchGateTest, AHeldGateIsReleasedByAnotherThreadAndATimedTakeGivesUp) {
  using namespace std::chrono_literals;
  BatchGate gate;
  gate.Take();
  EXPECT_FALSE(gate.TakeUntil(std::chrono::steady_clock::now() + 20ms));
  auto taker = std::async(std::launch::async, [&] { return gate.TakeUntil(std::chrono::steady_clock::now() + 60s); });
  gate.Release();
  EXPECT_TRUE(taker.get());
  gate.Release();
  EXPECT_TRUE(gate.TakeUntil(std::chrono::steady_clock::now()));
}

TEST(BatchGateTest, AFreeGateIsTakenEvenPastTheDeadlineAndATimedTakeHoldsIt) {
  using namespace std::chrono_literals;
  BatchGate gate;
  EXPECT_TRUE(gate.TakeUntil(std::chrono::steady_clock::now() - 1s));
  EXPECT_FALSE(gate.TakeUntil(std::chrono::steady_clock::now()));
  gate.Release();
  EXPECT_TRUE(gate.TakeUntil(std::chrono::steady_clock::now()));
}

}  // namespace

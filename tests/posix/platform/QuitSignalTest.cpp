// Requests to quit, each raised in a child process of its own (the handlers and the pending
// request are process-wide and cannot be undone within one process).

#include "platform/QuitSignal.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

namespace {

// Exits with the pending request's exit status when it carries `name`; 1 otherwise.
[[noreturn]] void ExitWithRequest(const char* name) {
  const auto request = platform::PendingQuitRequest();
  std::_Exit(request && request->name == name ? request->exitStatus : 1);
}

TEST(QuitSignalTest, EachRequestIsKeptForTheProgramInsteadOfEndingIt) {
  EXPECT_EXIT((platform::WatchQuitRequests(), std::raise(SIGINT), ExitWithRequest("interrupt")),
              testing::ExitedWithCode(130), "");
  EXPECT_EXIT((platform::WatchQuitRequests(), std::raise(SIGTERM), ExitWithRequest("terminate")),
              testing::ExitedWithCode(143), "");
  EXPECT_EXIT((platform::WatchQuitRequests(), std::raise(SIGHUP), ExitWithRequest("hangup")),
              testing::ExitedWithCode(129), "");
}

TEST(QuitSignalTest, TheFirstRequestIsTheOneAnsweredAndASecondOfItsKindEndsTheProgram) {
  EXPECT_EXIT((platform::WatchQuitRequests(), std::raise(SIGHUP), std::raise(SIGTERM), ExitWithRequest("hangup")),
              testing::ExitedWithCode(129), "");
  EXPECT_EXIT((platform::WatchQuitRequests(), std::raise(SIGINT), std::raise(SIGINT), std::_Exit(0)),
              testing::KilledBySignal(SIGINT), "");
}

TEST(QuitSignalTest, NothingIsPendingBeforeARequest) {
  EXPECT_EXIT((platform::WatchQuitRequests(), std::_Exit(platform::PendingQuitRequest() ? 1 : 0)),
              testing::ExitedWithCode(0), "");
}

}  // namespace

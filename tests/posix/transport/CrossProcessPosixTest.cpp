// A real second process on the document: it finds it by name, is told of commits by the update
// message, and can hold the shared lock while this side commits.
#include <chrono>
#include <cstddef>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/ProcessList.h"
#include "tests/transport/CrossProcessFixture.h"

namespace {

class CrossProcessPosixTest : public CrossProcessFixture {};

// A holder that died while its parent has not reaped it yet is as dead as one that is gone.
TEST_F(CrossProcessPosixTest, LockLeftByAnEndedProcessNotYetReapedIsTakenOver) {
  const auto document = Open();
  document->CreateSurface(u"After", true);
  auto* header = const_cast<uint8_t*>(MapAsReader(SharedMemoryChannel::MappingName(DocumentName())));
  ASSERT_NE(header, nullptr);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const uint32_t self = platform::GetCurrentProcessId();
    std::memcpy(header + offsetof(wire::HeaderRecord, lockOwner), &self, sizeof(self));
    _exit(0);
  }
  siginfo_t info{};
  ASSERT_EQ(waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);
  document->Commit();
  EXPECT_EQ(document->GetCommitCount(), 2u);
  EXPECT_EQ(U32(header, offsetof(wire::HeaderRecord, lockOwner)), 0u);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
}

}  // namespace

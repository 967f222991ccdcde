// A real second process on the document: it finds it by name, is told of commits by the update
// message, and can hold the shared lock while this side commits.
#include <chrono>
#include <cstddef>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/ProcessList.h"
#include "tests/support/BackgroundProcess.h"
#include "tests/transport/TransportTestSupport.h"

namespace {

// A peer process whose output is read line by line as it comes.
class Peer {
public:
  explicit Peer(const std::string& arguments) : process_(std::string(TRANSPORT_PEER) + " " + arguments + " 2>&1") {}
  // The next line with its line break; empty at the end.
  std::string ReadLine() {
    const std::string line = process_.ReadLine();
    return line.empty() ? line : line + "\n";
  }
  // Everything still to come; the exit status is then in status().
  std::string Finish() {
    std::string rest;
    for (std::string line = ReadLine(); !line.empty(); line = ReadLine()) rest += line;
    status_ = process_.Wait();
    return rest;
  }
  int status() const { return status_; }

private:
  BackgroundProcess process_;
  int status_ = -1;
};

class CrossProcessPosixTest : public TransportTest {
protected:
  std::string Name() const { return token_ + "doc"; }
  static TideLinkMesh Triangle() {
    TideLinkMesh mesh = TideLinkMesh::Create(3, 3, 1);
    mesh.positions[0] = 2.5f;
    mesh.indices = {0, 1, 2};
    return mesh;
  }
};

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

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/Registry.h"
#include "tests/posix/RegistryHold.h"
#include "tests/support/BackgroundProcess.h"
#include "tests/transport/TideLinkDocumentManagerFixture.h"

namespace {

class TideLinkDocumentManagerPosixTest : public TideLinkDocumentManagerFixture {};

// A registry held by another process delays a commit half a second at most; the announcement
// it refused is written at a later commit, changed or not, so a renderer still finds the link.
TEST_F(TideLinkDocumentManagerPosixTest, AnAnnouncementARegistryHeldElsewhereRefusedIsWrittenLater) {
  auto document = OpenThroughManager(DocumentName());
  ASSERT_NE(document, nullptr);
  document->CreateSurface(u"Brick", false);
  {
    RegistryHold hold(registryPath());
    ASSERT_TRUE(hold.held());
    const auto start = std::chrono::steady_clock::now();
    document->Commit();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_EQ(document->GetCommitCount(), 2u) << "the memory is written all the same";
    EXPECT_FALSE(IsAnnounced(DocumentName()));
  }
  document->Commit();
  EXPECT_TRUE(IsAnnounced(DocumentName()));
  EXPECT_EQ(document->GetCommitCount(), 2u);
}

// The manager goes with the module's statics at unload, as a process's go at exit; a document
// still open then is released with all it announced, whatever letters its name holds.
TEST_F(TideLinkDocumentManagerPosixTest, DocumentsLeftOpenAtExitAreReleasedEvenWithNonAsciiNames) {
  const std::u16string held = DocumentName() + u"Küche";
  const std::u16string dropped = DocumentName() + u"Gästezimmer";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto kept = manager().OpenDocument(held, 16);
    auto other = manager().OpenDocument(dropped, 16);
    if (!kept || !other) _exit(3);
    for (const auto& document : {kept, other}) {
      document->CreateSurface(u"Tiles", false);
      document->Commit();
    }
    if (!IsAnnounced(held) || !IsAnnounced(dropped)) _exit(4);
    // The manager holds the one document alone; the other is still held here too, and locals are
    // not destroyed by exit.
    other.reset();
    std::exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(IsAnnounced(held));
  EXPECT_FALSE(IsAnnounced(dropped));
  EXPECT_EQ(ObjectsContaining("TideLinkAPI/" + std::to_string(child) + "/"), std::vector<std::string>{});
}

}  // namespace

// A real second process on the document: it finds it by name, is told of commits by the update
// message, and can hold the shared lock while this side commits.
#include <chrono>
#include <cstddef>
#include <string>

#include "platform/ProcessList.h"
#include "tests/transport/CrossProcessFixture.h"

namespace {

class CrossProcessTest : public CrossProcessFixture {};

TEST_F(CrossProcessTest, RendererIsToldOfACommitAndReadsRecordsAndMeshByName) {
  const auto document = Open();
  const uint8_t* base = MapAsReader(DocumentName());
  const auto surface = document->CreateSurface(u"Glass", true);
  surface->SetMesh(Triangle());
  Peer renderer("watch " + Name());
  ASSERT_EQ(renderer.ReadLine(), "ready\n");
  document->Commit();
  const std::string seen = renderer.Finish();
  EXPECT_EQ(renderer.status(), 0) << seen;
  EXPECT_NE(seen.find("message 8729 2 0\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("HEAD version 2 flags 1 commits 2 records 3 high 2 size 10242048\n"),
            std::string::npos) << seen;
  EXPECT_NE(seen.find("0 VIEW id 1 flags 0\n1 STAT id 2 flags 0\n2 SRFC id 3 flags 101 name Glass\n"),
            std::string::npos) << seen;
  char mesh[128];
  std::snprintf(mesh, sizeof(mesh), "mesh TideLinkAPI/%d/%08X bytes %d counts 3 3 1 x0 2.5 last-index 2",
                platform::GetCurrentProcessId(), U32(base, 2048 * 3 + 1924), 2 * (12 + 4 * (18 + 6 + 3)));
  EXPECT_NE(seen.find(mesh), std::string::npos) << seen;
}

TEST_F(CrossProcessTest, CommitWaitsTenMillisecondsForAHolderAndKeepsItsChanges) {
  const auto document = Open();
  const uint8_t* base = MapAsReader(DocumentName());
  const auto surface = document->CreateSurface(u"Pending", true);
  surface->SetMesh(Triangle());
  Peer holder("hold " + Name() + " 400 release");
  ASSERT_EQ(holder.ReadLine(), "locked\n");
  const auto start = std::chrono::steady_clock::now();
  document->Commit();
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(10));
  EXPECT_LT(waited, std::chrono::milliseconds(300));
  EXPECT_EQ(U32(base, 16), 1u);
  EXPECT_EQ(U32(base, 2048 * 3 + 12), 0u);  // the surface record is untouched
  EXPECT_TRUE(surface->IsDirty());

  holder.Finish();
  ASSERT_EQ(holder.status(), 0);
  document->Commit();
  EXPECT_EQ(U32(base, 16), 2u);
  EXPECT_EQ(U32(base, 2048 * 3 + 12), 0x101u);
  EXPECT_NE(U32(base, 2048 * 3 + 1924), 0u);
}

TEST_F(CrossProcessTest, LockLeftByAProcessThatDiedIsTakenOver) {
  const auto document = Open();
  document->CreateSurface(u"After", true);
  Peer holder("hold " + Name() + " 0 die");
  ASSERT_EQ(holder.ReadLine(), "locked\n");
  holder.Finish();
  document->Commit();
  EXPECT_EQ(document->GetCommitCount(), 2u);
}

}  // namespace

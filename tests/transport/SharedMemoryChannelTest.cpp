// The main mapping, records, flags, the shared lock and segments, checked at the byte offsets
// that the renderer reads.
#include <chrono>

#include "platform/ChildProcess.h"
#include "platform/ProcessList.h"
#include "platform/TextConversion.h"
#include "tests/support/BackgroundProcess.h"
#include "tests/transport/TransportTestSupport.h"

namespace {

class SharedMemoryChannelTest : public TransportTest {};

TEST_F(SharedMemoryChannelTest, FreshDocumentHasHeaderViewAndStatusAtTheirOffsets) {
  const std::u16string name = Utf16("C:\\Drawings\\" + token_ + "\\House.vwx");
  const auto document = Open(name);
  ASSERT_TRUE(document->IsOpen());
  EXPECT_EQ(document->GetName(), name);
  const uint8_t* base = MapAsReader(Utf16("C:/Drawings/" + token_ + "/House.vwx"));
  ASSERT_NE(base, nullptr);
  EXPECT_PRED2(ViewHolds, readers_.back().size(), 10242048u);

  EXPECT_EQ(Tag(base, 0), "HEAD");
  EXPECT_EQ(U32(base, 0), 0x44414548u);
  const uint32_t header[] = {1244, 0, 0, 1, 1, 0, 10242048, 2048, 5000, 2, 1,
                             platform::GetCurrentProcessId()};
  for (size_t field = 0; field < std::size(header); ++field) {
    EXPECT_EQ(U32(base, 4 + 4 * field), header[field]) << "offset " << 4 + 4 * field;
  }
  EXPECT_EQ(U32(base, 196), 1u);
  EXPECT_TRUE(AllZero(base, 52, 196));
  EXPECT_TRUE(AllZero(base, 200, 2048));

  EXPECT_EQ(Tag(base, 2048), "VIEW");
  EXPECT_EQ(Tag(base, 4096), "STAT");
  for (auto [offset, size, id] : {std::tuple{2048, 652u, 1u}, std::tuple{4096, 28u, 2u}}) {
    EXPECT_EQ(U32(base, offset + 4), size);
    EXPECT_EQ(U32(base, offset + 8), id);
    EXPECT_EQ(U32(base, offset + 12), 0u);  // flags
    EXPECT_EQ(U32(base, offset + 16), id);  // version
    EXPECT_TRUE(AllZero(base, offset + 20, offset + 2048));
  }
  EXPECT_TRUE(AllZero(base, 6144, 10242048));
}

TEST_F(SharedMemoryChannelTest, FailedOpenLeavesAnInertDocument) {
  const auto first = Open();
  const auto second = Open();
  EXPECT_FALSE(second->IsOpen());
  EXPECT_EQ(second->GetLastError(), 183u);
  // A block count whose size would not fit the header's 32-bit total.
  const auto huge = Open(DocumentName("huge"), 1u << 21);
  EXPECT_EQ(huge->GetLastError(), 87u);

  for (const auto& closed : {second, huge}) {
    EXPECT_TRUE(closed->GetName().empty());
    EXPECT_FALSE(closed->Lock(0));
    EXPECT_EQ(closed->Unlock(), 0u);
    EXPECT_EQ(closed->TestFlags(~0u), 0u);
    EXPECT_EQ(closed->GetCommitCount(), 0u);
    EXPECT_EQ(closed->AllocateRecord(wire::kTagSurface), nullptr);
    EXPECT_EQ(closed->FreeRecord(1), 0xFFFFFFFFu);
    EXPECT_EQ(closed->CountRecords(wire::kTagView, 0, 0), 0u);
    EXPECT_EQ(closed->FindRecord(1), nullptr);
    EXPECT_TRUE(closed->FindRecords(wire::kTagView, 0, 0).empty());
    EXPECT_EQ(closed->CreateSurface(u"Wall", true), nullptr);
    EXPECT_EQ(closed->CreateSegment(1, 16), 0u);
    EXPECT_EQ(closed->MapSegment(1), nullptr);
    closed->Commit();
    closed->SetCamera(std::vector<float>(16).data(), 45);
  }
  EXPECT_EQ(first->GetCommitCount(), 1u);  // the refused second open did not touch the first
}

TEST_F(SharedMemoryChannelTest, RecordsFillTheLowestFreeBlockUntilTheFileIsFull) {
  const auto document = Open(4);
  const uint8_t* base = MapAsReader(DocumentName());
  EXPECT_EQ(document->AllocateRecord(wire::kTagHeader), nullptr);
  wire::RecordHeader* third = document->AllocateRecord(wire::kTagSurface);
  ASSERT_NE(document->AllocateRecord(wire::MakeTag("ABCD")), nullptr);
  EXPECT_EQ(U32(base, 2048 * 4 + 4), 20u);  // size of an unknown tag
  EXPECT_EQ(U32(base, 40), 4u);
  EXPECT_EQ(U32(base, 44), 3u);

  const std::vector<uint8_t> full(base, base + 2048 * 5);
  EXPECT_EQ(document->AllocateRecord(wire::kTagSurface), nullptr);
  EXPECT_TRUE(std::equal(full.begin(), full.end(), base));
  // No record has id 0; free blocks carry it and must not be "found".
  EXPECT_EQ(document->FreeRecord(0), 0u);
  EXPECT_EQ(document->FindRecord(0), nullptr);
  EXPECT_TRUE(std::equal(full.begin(), full.end(), base));

  EXPECT_EQ(document->FreeRecord(4), 0u);
  EXPECT_EQ(U32(base, 44), 2u);
  EXPECT_EQ(document->FreeRecord(third->id), 0u);
  EXPECT_TRUE(AllZero(base, 2048 * 3, 2048 * 5));
  EXPECT_EQ(U32(base, 40), 2u);
  EXPECT_EQ(document->FindRecord(3), nullptr);
  wire::RecordHeader* reused = document->AllocateRecord(wire::kTagSurface);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(reused), reinterpret_cast<uint8_t*>(third));
  EXPECT_EQ(reused->id, 5u);
}

TEST_F(SharedMemoryChannelTest, RecordQueriesMatchTagAndMaskedFlags) {
  const auto document = Open();
  std::vector<wire::RecordHeader*> surfaces;
  for (int index = 0; index < 4; ++index) surfaces.push_back(document->AllocateRecord(wire::kTagSurface));
  document->MarkRecord(surfaces[1], 0x101);
  document->MarkRecord(surfaces[3], 0x001);
  document->MarkRecord(nullptr, 1);
  EXPECT_EQ(surfaces[1]->version, 7u);  // 2 opening records + 4 allocations, then a change
  EXPECT_EQ(document->CountRecords(wire::kTagSurface, 0, 12345), 4u);
  EXPECT_EQ(document->CountRecords(wire::kTagSurface, 0x101, 0x101), 1u);
  EXPECT_EQ(document->CountRecords(wire::kTagSurface, 0x1, 0), 2u);
  EXPECT_EQ(document->FindRecords(wire::kTagSurface, 0x1, 0x1),
            (std::vector<wire::RecordHeader*>{surfaces[1], surfaces[3]}));
  EXPECT_EQ(document->FindRecord(surfaces[2]->id), surfaces[2]);

  document->ClearRecordFlags(surfaces[1], 0x100);
  EXPECT_EQ(document->TestRecordFlags(surfaces[1], 0xFFFF), 1u);
  EXPECT_EQ(document->TestRecordFlags(nullptr, 1), 0u);
}

TEST_F(SharedMemoryChannelTest, HeaderFlagsAdvanceVersionAndCommitCountOnlyForBitZero) {
  const auto document = Open();
  uint8_t* base = const_cast<uint8_t*>(MapAsReader(DocumentName()));
  document->SetFlags(2);
  EXPECT_EQ(U32(base, 16), 1u);
  EXPECT_TRUE(document->IsClosedByRenderer());
  document->ClearFlags(2);
  document->SetFlags(1);
  EXPECT_EQ(U32(base, 12), 1u);
  EXPECT_EQ(U32(base, 16), 2u);
  EXPECT_EQ(document->GetCommitCount(), 2u);
  document->SetCommitCount(40);
  EXPECT_EQ(U32(base, 196), 40u);
  // The renderer closes the link through its own mapping.
  base[12] |= 2;
  EXPECT_TRUE(document->IsClosedByRenderer());
}

TEST_F(SharedMemoryChannelTest, LockIsReentrantPerProcessAndWaitsForAnotherHolder) {
  const auto document = Open();
  uint8_t* base = const_cast<uint8_t*>(MapAsReader(DocumentName()));
  ASSERT_TRUE(document->Lock(0));
  ASSERT_TRUE(document->Lock(0));
  EXPECT_EQ(U32(base, 24), platform::GetCurrentProcessId());
  EXPECT_EQ(document->Unlock(), platform::GetCurrentProcessId());
  EXPECT_EQ(U32(base, 24), 0u);

  // A holder that stays alive for the whole test.
  BackgroundProcess living(std::string(TRANSPORT_PEER) + " windows Other:hidden");
  ASSERT_EQ(living.ReadLine(), "ready");
  const uint32_t otherHolder = living.pid();
  std::memcpy(base + 24, &otherHolder, 4);
  EXPECT_FALSE(document->Lock(0));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(document->Lock(10000));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(10));
  document->Unlock();
  EXPECT_EQ(U32(base, 24), otherHolder);  // not ours to free

  // A holder that died cannot release; its lock is taken over.
  platform::ChildProcess ended;
  ASSERT_TRUE(platform::ChildProcess::Start(platform::Utf16FromUtf8(TRANSPORT_PEER), {}, true, ended));
  ASSERT_TRUE(ended.Wait(std::chrono::seconds(30)));
  const uint32_t deadHolder = ended.processId();
  std::memcpy(base + 24, &deadHolder, 4);
  EXPECT_TRUE(document->Lock(0));
  EXPECT_EQ(U32(base, 24), platform::GetCurrentProcessId());
}

TEST_F(SharedMemoryChannelTest, SegmentsAreNumberedPerProcessAndReleasedWhenAsked) {
  const auto first = Open(DocumentName("first"));
  for (uint32_t expected = 1; expected <= 5; ++expected) {
    EXPECT_EQ(first->CreateSegment(3, 100), expected);
  }
  EXPECT_EQ(first->CreateSegment(3, 0), 0u);  // a failed creation still uses its number up
  const auto second = Open(DocumentName("second"));
  EXPECT_EQ(second->CreateSegment(3, 64), 7u);
  ASSERT_TRUE(SegmentExists(7));
  // Past 9 the number is written in upper-case hexadecimal, the process id in decimal.
  for (uint32_t expected = 8; expected <= 11; ++expected) {
    EXPECT_EQ(second->CreateSegment(5, 16), expected);
  }
  EXPECT_TRUE(SegmentExists(11));
  EXPECT_EQ(SharedMemoryChannel::SegmentName(4242, 0xAB), u"TideLinkAPI/4242/000000AB");
  EXPECT_EQ(SharedMemoryChannel::SegmentName(123456789, 0xFEDCBA98), u"TideLinkAPI/123456789/FEDCBA98");
  const uint8_t* segment = MapSegmentAsReader(7);
  ASSERT_NE(segment, nullptr);
  EXPECT_PRED2(ViewHolds, readers_.back().size(), 64u);
  std::memcpy(second->MapSegment(7), "bytes", 5);
  EXPECT_EQ(std::memcmp(segment, "bytes", 5), 0);

  first->QueueSegmentRelease(1);
  EXPECT_TRUE(SegmentExists(1));
  first->ReleaseSegment(2);
  EXPECT_FALSE(SegmentExists(2));
  first->CloseSegment(3);
  EXPECT_FALSE(SegmentExists(3));
  second->Close();
  EXPECT_FALSE(SegmentExists(7));
  // Record 3's remaining segments go with the record.
  first->FreeRecord(3);
  EXPECT_FALSE(SegmentExists(4));
  EXPECT_FALSE(SegmentExists(5));
}

}  // namespace

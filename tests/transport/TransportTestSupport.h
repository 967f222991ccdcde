#pragma once

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/ProcessList.h"
#include "tests/support/MappingCensus.h"
#include "tests/support/TestEnvironment.h"
#include "transport/TideLinkDocumentImpl.h"

// Documents named per test process, read back through plain byte offsets rather than the
// writer's own structs; every test must leave no shared-memory object behind.
class TransportTest : public TestEnvironment {
protected:
  void SetUp() override {
    TestEnvironment::SetUp();
    const std::string pid = std::to_string(platform::GetCurrentProcessId());
    token_ = "tltest" + pid;
    segmentToken_ = "TideLinkAPI/" + pid + "/";
  }
  void TearDown() override {
    documents_.clear();
    readers_.clear();
    EXPECT_EQ(ObjectsContaining(token_), std::vector<std::string>{});
    EXPECT_EQ(ObjectsContaining(segmentToken_), std::vector<std::string>{});
    TestEnvironment::TearDown();
  }

  std::u16string DocumentName(const std::string& suffix = "doc") const {
    return Utf16(token_ + suffix);
  }
  std::shared_ptr<TideLinkDocumentImpl> Open(const std::u16string& name, uint64_t blocks = 5000) {
    documents_.push_back(TideLinkDocumentImpl::Create(name, blocks));
    return documents_.back();
  }
  std::shared_ptr<TideLinkDocumentImpl> Open(uint64_t blocks = 5000) {
    return Open(DocumentName(), blocks);
  }

  static std::u16string Utf16(const std::string& text) { return {text.begin(), text.end()}; }
  // Objects the system still holds whose mapping name contains `part`, live or abandoned.
  static std::vector<std::string> ObjectsContaining(const std::string& part) {
    return MappingObjectsContaining(Utf16(part));
  }
  static bool SegmentExists(uint32_t number) {
    return MappingObjectExists(SharedMemoryChannel::SegmentName(platform::GetCurrentProcessId(), number));
  }

  // A mapping of its own, as the renderer has; null when there is no such object.
  const uint8_t* MapAsReader(const std::u16string& mappingName) {
    readers_.emplace_back();
    if (platform::SharedMemory::Open(mappingName, readers_.back()) != 0) return nullptr;
    return static_cast<const uint8_t*>(readers_.back().data());
  }
  const uint8_t* MapSegmentAsReader(uint32_t number) {
    return MapAsReader(SharedMemoryChannel::SegmentName(platform::GetCurrentProcessId(), number));
  }
  // Whether a reader's view holds the `created` bytes: Windows rounds a view up to whole pages,
  // never by a page or more; POSIX maps the size exactly.
  static bool ViewHolds(size_t viewSize, size_t created) {
    return viewSize >= created && viewSize - created < 4096;
  }
  static uint32_t U32(const uint8_t* base, size_t offset) {
    uint32_t value;
    std::memcpy(&value, base + offset, 4);
    return value;
  }
  static float F32(const uint8_t* base, size_t offset) {
    float value;
    std::memcpy(&value, base + offset, 4);
    return value;
  }
  static std::string Tag(const uint8_t* base, size_t offset) {
    return std::string(reinterpret_cast<const char*>(base + offset), 4);
  }
  static std::u16string Text(const uint8_t* base, size_t offset, size_t units) {
    std::u16string text(units, u'\0');
    std::memcpy(text.data(), base + offset, 2 * units);
    return text.substr(0, text.find(u'\0'));
  }
  static bool AllZero(const uint8_t* base, size_t from, size_t to) {
    return std::all_of(base + from, base + to, [](uint8_t byte) { return byte == 0; });
  }

  std::string token_;
  std::string segmentToken_;
  std::vector<std::shared_ptr<TideLinkDocumentImpl>> documents_;
  std::vector<platform::SharedMemory> readers_;
};

#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// The bytes of a link document as the renderer reads them: the main mapping is a 2048-byte header
// block followed by 2048-byte data blocks, each holding one record; bulky data lives in numbered
// segment mappings. Little-endian, 4-byte aligned, strings as zero-padded UTF-16 without a
// terminator when they fill their field. The structs below are that layout exactly.
namespace wire {

constexpr uint32_t MakeTag(const char (&text)[5]) {
  return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 |
         uint32_t(uint8_t(text[2])) << 16 | uint32_t(uint8_t(text[3])) << 24;
}

inline constexpr uint32_t kTagHeader = MakeTag("HEAD");
inline constexpr uint32_t kTagSurface = MakeTag("SRFC");
inline constexpr uint32_t kTagRemovedSurface = MakeTag("SRFI");
inline constexpr uint32_t kTagView = MakeTag("VIEW");
inline constexpr uint32_t kTagStatus = MakeTag("STAT");

inline constexpr uint32_t kBlockSize = 2048;
inline constexpr uint32_t kRecordHeaderSize = 20;

// Record flags: bit 0 marks a finished change; the header's bit 1 is the renderer closing the link.
inline constexpr uint32_t kFlagChanged = 0x1;
inline constexpr uint32_t kFlagClosedByRenderer = 0x2;
inline constexpr uint32_t kFlagMaterialWritten = 0x100;
inline constexpr uint32_t kFlagTexture1Written = 0x200;
inline constexpr uint32_t kFlagTexture2Written = 0x400;

inline constexpr uint32_t kNameUnits = 260;
inline constexpr uint32_t kLibraryIdUnits = 128;

inline constexpr uint32_t kUpdateMessage = 0x8729;
inline constexpr uint64_t kUpdateMessageWParam = 2;

struct RecordHeader {
  uint32_t tag;
  uint32_t size;
  uint32_t id;
  uint32_t flags;
  uint32_t version;
};

struct HeaderRecord {
  RecordHeader record;
  uint32_t reserved20;  // 1, never changed by this side
  uint32_t lockOwner;   // 0 or the process id of the holder
  uint32_t totalSize;
  uint32_t dataOffset;
  uint32_t blockCount;
  uint32_t recordCount;
  uint32_t highWater;
  uint32_t ownerProcessId;
  uint8_t zero52[144];
  uint32_t commitCount;
  uint8_t zero200[1040];
  uint32_t reserved1240;
};

struct TextureFields {
  uint32_t stamp;
  char16_t path[kNameUnits];
  uint32_t segment;
  uint32_t size;
};

struct SurfaceRecord {
  RecordHeader record;
  uint32_t materialVersion;
  char16_t name[kNameUnits];
  uint32_t surfaceType;
  char16_t libraryId[kLibraryIdUnits];
  uint32_t color;
  float params[8];
  uint8_t zero840[16];
  TextureFields texture1;
  TextureFields texture2;
  uint32_t meshVersion;
  uint32_t meshSegment;
  uint32_t meshCapacity;
};

inline constexpr size_t kViewDescriptionOffset = 24;
inline constexpr size_t kViewDescriptionBytes = 628;

struct ViewRecord {
  RecordHeader record;
  uint32_t enabled;
  float matrix[16];
  uint8_t zero88[520];
  uint32_t reserved608;
  float fieldOfView;
  uint8_t zero616[36];
};

// The plug-in only allocates it; the payload is the renderers'. Its first word is the highest
// header version a renderer has read, so that whoever runs the link can tell that one did.
struct StatusRecord {
  RecordHeader record;
  uint8_t payload[8];
};
inline constexpr size_t kStatusVersionReadOffset = offsetof(StatusRecord, payload);

static_assert(sizeof(HeaderRecord) == 1244 && offsetof(HeaderRecord, lockOwner) == 24 &&
              offsetof(HeaderRecord, ownerProcessId) == 48 &&
              offsetof(HeaderRecord, commitCount) == 196 &&
              offsetof(HeaderRecord, reserved1240) == 1240);
static_assert(sizeof(SurfaceRecord) == 1932 && offsetof(SurfaceRecord, surfaceType) == 544 &&
              offsetof(SurfaceRecord, color) == 804 && offsetof(SurfaceRecord, texture1) == 856 &&
              offsetof(SurfaceRecord, texture2) == 1388 &&
              offsetof(SurfaceRecord, meshVersion) == 1920);
static_assert(sizeof(ViewRecord) == 652 && offsetof(ViewRecord, fieldOfView) == 612);
static_assert(sizeof(StatusRecord) == 28);

// The used size of a record with this tag.
constexpr uint32_t RecordSize(uint32_t tag) {
  switch (tag) {
    case kTagHeader: return sizeof(HeaderRecord);
    case kTagSurface: return sizeof(SurfaceRecord);
    case kTagView: return sizeof(ViewRecord);
    case kTagStatus: return sizeof(StatusRecord);
    default: return kRecordHeaderSize;
  }
}

// Fills a text field: cut at its width, zero-padded, no terminator when it fills the field.
template <size_t Units>
void WriteText(char16_t (&field)[Units], std::u16string_view text) {
  const size_t count = std::min(text.size(), Units);
  std::memcpy(field, text.data(), count * sizeof(char16_t));
  std::memset(field + count, 0, (Units - count) * sizeof(char16_t));
}

}  // namespace wire

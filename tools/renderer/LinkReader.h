#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SharedMemory.h"
#include "tools/renderer/MirroredScene.h"
#include "tools/renderer/PictureTexture.h"
#include "transport/WireFormat.h"

// The renderer's view of one live link document. The memory belongs to another process and is
// treated as untrusted: every record is copied out of its block before it is looked at, and every
// offset, count and size is checked against what was actually mapped. A record that fails a check
// is reported in the scene's problems and skipped; nothing outside a mapping is ever read.
class LinkReader {
public:
  using Clock = std::chrono::steady_clock;
  // How the last Read went, for the renderer's read log.
  struct ReadTimes {
    Clock::time_point locked{};    // the lock was taken (the last time, when it had to try again)
    Clock::time_point unlocked{};  // and let go
    Clock::time_point done{};      // the scene was read and checked
    uint64_t copiedBytes = 0;      // copied out of the shared memory while holding the lock
    uint64_t meshBytes = 0;        // used bytes of the mesh segments of the surfaces read
  };

  // Maps the document's main mapping; false, with `problem` set, when there is none or it does
  // not look like a link document.
  bool Open(std::u16string_view documentName, std::string& problem);
  // Gives segment `number`'s bytes, or nothing when there is no such segment.
  using SegmentSource = std::function<std::optional<std::span<const uint8_t>>(uint32_t number)>;
  // The same reader over memory the caller owns and keeps alive while the reader uses it: `main`
  // stands for the main mapping (its lock word and close flag are written), `segments` for the
  // owner's named segments. For reading damaged memory without a second process.
  bool OpenBytes(std::span<uint8_t> main, SegmentSource segments, std::string& problem);
  const std::u16string& documentName() const { return documentName_; }

  // The header version, to see whether anything was committed since the last read; nothing when
  // the header no longer checks out.
  std::optional<uint32_t> HeaderVersion() const;
  // Whether the process that made the document still has it; false once the plug-in has ended,
  // cleanly or not, whichever other renderers still read it.
  bool IsOwnerAlive() const { return main_.IsCreatorAlive(); }
  // Reads the whole document into `scene`, so that it never sees a commit half done: the
  // document's lock is held only while the records whose version moved since the last read, and
  // the meshes they name, are copied out; segments are mapped before and everything is checked
  // after. False when the lock could not be had in time (try again).
  bool Read(MirroredScene& scene);
  const ReadTimes& lastRead() const { return lastRead_; }
  // Tells the plug-in that the renderer has closed the link (header flag 2).
  void CloseLink();

private:
  struct CachedMesh {
    uint32_t meshVersion = 0;
    uint32_t segment = 0;
    uint32_t vertexCount = 0;
    uint64_t usedBytes = 0;  // of the segment: counts, vertex data and indices
    SharedList<float> positions;
    SharedList<float> uvs;
    SharedList<uint32_t> indices;
  };
  // A mesh copied under the lock and not checked yet, or why it could not be copied. Its lists
  // are sized, and so their pages touched, before the lock, from a look at the segment's counts.
  struct StagedMesh {
    uint32_t meshVersion = 0;
    uint32_t segment = 0;
    uint32_t vertexCount = 0;
    uint64_t usedBytes = 0;
    std::vector<float> positions;
    std::vector<float> uvs;
    std::vector<uint32_t> indices;
    bool settled = false;  // copied, or found unreadable; not while its segment is unmapped
    bool copied = false;
    std::string problem;  // about its counts, when they do not fit the segment
  };
  // A texture segment's bitmap file, copied with its record and decoded once after the lock.
  struct TextureHead {
    bool wanted = false;  // the record names an image segment
    bool mapped = false;
    uint64_t segmentSize = 0;
    std::vector<uint8_t> bytes;  // until decoded
    bool decoded = false;
    std::optional<PictureTexture> image;  // nothing when the bytes are not a bitmap of their size
  };
  // A texture file as last loaded, kept while the record's stamp for it stays.
  struct LoadedFile {
    uint32_t stamp = 0;
    std::optional<PictureTexture> image;
  };
  // A record as it was copied under the lock, kept while its version stays.
  struct CachedBlock {
    uint32_t tag = 0;
    uint32_t version = 0;
    std::array<uint8_t, wire::kBlockSize> bytes{};
    std::array<TextureHead, 2> textures;
  };

  bool CheckHeader(std::string& problem) const;
  // Raises the status record's version-read word to `version`, for whoever runs the link to see.
  void RecordRead(uint32_t version, uint32_t lastBlock);
  bool Lock();
  void Unlock();
  uint32_t LastBlock(uint32_t highWater) const;
  // Without the lock: maps every segment that the records changed since the last read name now,
  // touches their pages, and makes room for the meshes that will be copied.
  void PrepareForChanges();
  // Under the lock: copies the header, the records that changed and the meshes not cached yet.
  // Gives the segment numbers needed but not mapped.
  std::set<uint32_t> CopyChanges(wire::HeaderRecord& header, uint32_t& lastBlock);
  void CopyBlock(uint32_t index, CachedBlock& cached, std::set<uint32_t>& unmapped);
  void StageMesh(uint32_t index, const wire::SurfaceRecord& record, std::set<uint32_t>& unmapped);
  void ReadBlock(uint32_t index, MirroredScene& scene);
  void ReadSurface(CachedBlock& block, uint32_t index, MirroredScene& scene);
  void ReadView(const uint8_t* block, uint32_t index, MirroredScene& scene);
  void ReadTexture(uint32_t segment, uint32_t size, TextureHead& head, MirroredTexture& texture,
                   MirroredScene& scene);
  // The pixels of a texture file, loaded again only when its stamp moves.
  void ReadTextureFile(MirroredTexture& texture);
  bool ReadMesh(uint32_t index, uint32_t segment, MirroredSurface& surface, MirroredScene& scene);
  using SegmentBytes = std::span<const uint8_t>;
  struct SegmentView {
    platform::SharedMemory mapping;
    SegmentBytes bytes;
  };
  bool Attach(std::string& problem);
  // The segment's bytes, mapping it by name (or asking the segment source) on first use; null
  // when it cannot be mapped.
  const SegmentBytes* Segment(uint32_t number);
  const SegmentBytes* MappedSegment(uint32_t number) const;
  const uint8_t* BlockAddress(uint32_t index) const;

  std::u16string documentName_;
  platform::SharedMemory main_;
  // The main mapping's bytes: main_'s, or the caller's.
  std::span<uint8_t> mainBytes_;
  SegmentSource segmentSource_;
  uint32_t ownerProcessId_ = 0;
  uint32_t blockCount_ = 0;
  std::map<uint32_t, SegmentView> segments_;
  std::vector<CachedBlock> blocks_;          // by block index, up to the high water
  std::map<uint32_t, CachedMesh> meshes_;    // checked meshes by record id
  std::map<uint32_t, StagedMesh> staged_;    // by block index, during one read
  std::map<std::u16string, LoadedFile> files_;  // texture files by path
  ReadTimes lastRead_;
  uint64_t copiedBytes_ = 0;
};

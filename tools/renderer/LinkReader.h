#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/SharedMemory.h"
#include "tools/renderer/MirroredScene.h"

// The renderer's view of one live link document. The memory belongs to another process and is
// treated as untrusted: every record is copied out of its block before it is looked at, and every
// offset, count and size is checked against what was actually mapped. A record that fails a check
// is reported in the scene's problems and skipped; nothing outside a mapping is ever read.
class LinkReader {
public:
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
  // Reads the whole document into `scene`, holding the document's lock while it copies, so that
  // it never sees a commit half done. False when the lock could not be had in time (try again).
  bool Read(MirroredScene& scene);
  // Tells the plug-in that the renderer has closed the link (header flag 2).
  void CloseLink();

private:
  struct CachedMesh {
    uint32_t meshVersion = 0;
    uint32_t segment = 0;
    uint32_t vertexCount = 0;
    std::vector<float> positions;
    std::vector<uint32_t> indices;
  };

  bool CheckHeader(std::string& problem) const;
  bool Lock();
  void Unlock();
  void ReadBlock(uint32_t index, MirroredScene& scene);
  void ReadSurface(const uint8_t* block, uint32_t index, MirroredScene& scene);
  void ReadView(const uint8_t* block, uint32_t index, MirroredScene& scene);
  void ReadTexture(uint32_t segment, uint32_t size, MirroredTexture& texture, MirroredScene& scene);
  bool ReadMesh(uint32_t segment, uint32_t capacity, MirroredSurface& surface, MirroredScene& scene);
  struct SegmentView {
    platform::SharedMemory mapping;
    std::span<const uint8_t> bytes;
  };

  bool Attach(std::string& problem);
  // The segment's bytes, mapping it by name (or asking the segment source) on first use; nothing
  // when it cannot be mapped.
  std::optional<std::span<const uint8_t>> Segment(uint32_t number);

  std::u16string documentName_;
  platform::SharedMemory main_;
  // The main mapping's bytes: main_'s, or the caller's.
  std::span<uint8_t> mainBytes_;
  SegmentSource segmentSource_;
  uint32_t ownerProcessId_ = 0;
  uint32_t blockCount_ = 0;
  std::map<uint32_t, SegmentView> segments_;
  std::map<uint32_t, CachedMesh> meshes_;  // by record id
};

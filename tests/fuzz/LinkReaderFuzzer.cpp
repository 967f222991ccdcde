// The renderer's reader on arbitrary memory: the input is the main mapping and up to four
// segments, read as Ombrel.exe reads a document on each update message (open, header version,
// read, and a second read that meets its mesh cache), then summarised and drawn as it shows them.
//
// Input: one byte of segment count; per segment a 32-bit number, a 16-bit size and that many
// bytes; a 32-bit main-mapping size, then the mapping's bytes. Memory the input does not fill is
// zero, as a fresh mapping is. Every buffer is a heap block of exactly its size, so the sanitizer
// sees a read one byte past any of them.

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "tests/fuzz/FuzzInput.h"
#include "tools/renderer/LinkReader.h"
#include "tools/renderer/SceneJson.h"
#include "tools/renderer/SceneSnapshot.h"
#include "transport/WireFormat.h"

namespace {

constexpr uint32_t kMaxMainSize = 1u << 18;

std::vector<uint8_t> Filled(FuzzInput& in, size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t index = 0; index < size && !in.empty(); ++index) bytes[index] = in.Byte();
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  std::map<uint32_t, std::vector<uint8_t>> segments;
  for (int count = in.Byte() % 5; count > 0; --count) {
    const uint32_t number = in.Raw<uint32_t>();
    const uint16_t segmentSize = in.Raw<uint16_t>();
    segments[number] = Filled(in, segmentSize);
  }
  std::vector<uint8_t> main = Filled(in, in.Raw<uint32_t>() % kMaxMainSize);
  // A lock word held by another process only makes the reader wait its 200 ms and give up.
  if (main.size() >= offsetof(wire::HeaderRecord, lockOwner) + 4) {
    std::fill_n(main.begin() + offsetof(wire::HeaderRecord, lockOwner), 4, 0);
  }

  LinkReader reader;
  std::string problem;
  const auto source = [&](uint32_t number) -> std::optional<std::span<const uint8_t>> {
    const auto found = segments.find(number);
    if (found == segments.end()) return std::nullopt;
    return std::span<const uint8_t>(found->second);
  };
  if (!reader.OpenBytes(main, source, problem)) return 0;
  reader.HeaderVersion();
  MirroredScene scene;
  for (int pass = 0; pass < 2; ++pass) {
    if (!reader.Read(scene)) return 0;
  }
  SceneToJson(scene);
  RenderSnapshot(scene, 32, 24);
  reader.CloseLink();
  return 0;
}

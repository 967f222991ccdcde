#include "transport/ExportMeshText.h"

#include <charconv>
#include <cstring>

#include "transport/NumberText.h"

namespace {

constexpr int kDecimals = 3;
// Typical text per element, as a first reservation; longer numbers only make the text grow.
constexpr size_t kReservedPerVector3 = 36;
constexpr size_t kReservedPerUv = 24;
constexpr size_t kReservedPerIndex = 8;
// Longest text of one element: three numbers and their spaces.
constexpr size_t kElementRoom = 3 * (kMaximumFixedTextSize + 1);

// Collects the numbers of a list in a buffer on the stack and appends them to the text a chunk
// at a time rather than a vector at a time.
class ChunkedText {
public:
  ChunkedText(std::string& text, size_t reserved) : text_(text) { text_.reserve(reserved); }
  ChunkedText(const ChunkedText&) = delete;
  ChunkedText& operator=(const ChunkedText&) = delete;
  ~ChunkedText() { text_.append(chunk_, at_); }

  // Where the next element goes; room for kElementRoom characters.
  char* at() {
    if (at_ > chunk_ + sizeof(chunk_) - kElementRoom) {
      text_.append(chunk_, at_);
      at_ = chunk_;
    }
    return at_;
  }
  void advance(char* end) { at_ = end; }

private:
  std::string& text_;
  char chunk_[16384];
  char* at_ = chunk_;
};

char* AppendNumber(char* out, float value) {
  out = AppendFixed(out, value, kDecimals);
  *out++ = ' ';
  return out;
}

// Each vector written with its second and third coordinates exchanged. A vector with the bits of
// the one before it (the normals of a flat face) repeats that one's text instead of formatting
// it again.
std::string SwappedVectorText(const std::vector<float>& values, uint64_t count) {
  std::string text;
  {
    ChunkedText chunks(text, count * kReservedPerVector3);
    char previousText[kElementRoom];
    size_t previousLength = 0;
    for (uint64_t index = 0; index < count; ++index) {
      const float* xyz = values.data() + 3 * index;
      char* out = chunks.at();
      if (index > 0 && std::memcmp(xyz, xyz - 3, 3 * sizeof(float)) == 0) {
        std::memcpy(out, previousText, previousLength);
        chunks.advance(out + previousLength);
        continue;
      }
      char* end = AppendNumber(out, xyz[0]);
      end = AppendNumber(end, xyz[2]);
      end = AppendNumber(end, xyz[1]);
      previousLength = static_cast<size_t>(end - out);
      std::memcpy(previousText, out, previousLength);
      chunks.advance(end);
    }
  }
  return text;
}

std::string FirstUvSetText(const TideLinkMesh& mesh) {
  std::string text;
  {
    ChunkedText chunks(text, mesh.vertexCount * kReservedPerUv);
    // The sets of one vertex lie side by side.
    const uint64_t stride = 2 * mesh.uvSetCount;
    for (uint64_t vertex = 0; vertex < mesh.vertexCount; ++vertex) {
      const float u = stride ? mesh.uvs[stride * vertex] : 0.0f;
      const float v = stride ? mesh.uvs[stride * vertex + 1] : 0.0f;
      chunks.advance(AppendNumber(AppendNumber(chunks.at(), u), 1.0f - v));
    }
  }
  return text;
}

std::string IndexText(const std::vector<uint32_t>& indices) {
  std::string text;
  {
    ChunkedText chunks(text, indices.size() * kReservedPerIndex);
    for (const uint32_t index : indices) {
      // Unsigned, so that no index can turn into a negative number that <p> does not accept.
      char* out = chunks.at();
      char* end = std::to_chars(out, out + kElementRoom, index).ptr;
      *end++ = ' ';
      chunks.advance(end);
    }
  }
  return text;
}

}  // namespace

void FormatExportMeshText(const TideLinkMesh& mesh, ExportNode& node) {
  node.vertexCount = static_cast<uint32_t>(mesh.vertexCount);
  node.indexCount = static_cast<uint32_t>(mesh.indexCount);
  node.positionsText = SwappedVectorText(mesh.positions, mesh.vertexCount);
  node.normalsText = SwappedVectorText(mesh.normals, mesh.vertexCount);
  node.uvText = FirstUvSetText(mesh);
  node.indexText = IndexText(mesh.indices);
}

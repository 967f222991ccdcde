#include "transport/ExportMeshText.h"

#include <charconv>

#include "transport/NumberText.h"

namespace {

constexpr int kDecimals = 3;
// Typical text per element, as a first reservation; longer numbers only make the text grow.
constexpr size_t kReservedPerVector3 = 36;
constexpr size_t kReservedPerUv = 24;
constexpr size_t kReservedPerIndex = 8;

char* AppendNumber(char* out, float value) {
  out = AppendFixed(out, value, kDecimals);
  *out++ = ' ';
  return out;
}

// Each vector written with its second and third coordinates exchanged.
std::string SwappedVectorText(const std::vector<float>& values, uint64_t count) {
  std::string text;
  text.reserve(count * kReservedPerVector3);
  char vector[3 * (kMaximumFixedTextSize + 1)];
  for (uint64_t index = 0; index < count; ++index) {
    const float* xyz = values.data() + 3 * index;
    char* end = AppendNumber(vector, xyz[0]);
    end = AppendNumber(end, xyz[2]);
    end = AppendNumber(end, xyz[1]);
    text.append(vector, end);
  }
  return text;
}

std::string FirstUvSetText(const TideLinkMesh& mesh) {
  std::string text;
  text.reserve(mesh.vertexCount * kReservedPerUv);
  char uv[2 * (kMaximumFixedTextSize + 1)];
  // The sets of one vertex lie side by side.
  const uint64_t stride = 2 * mesh.uvSetCount;
  for (uint64_t vertex = 0; vertex < mesh.vertexCount; ++vertex) {
    const float u = stride ? mesh.uvs[stride * vertex] : 0.0f;
    const float v = stride ? mesh.uvs[stride * vertex + 1] : 0.0f;
    char* end = AppendNumber(uv, u);
    end = AppendNumber(end, 1.0f - v);
    text.append(uv, end);
  }
  return text;
}

std::string IndexText(const std::vector<uint32_t>& indices) {
  std::string text;
  text.reserve(indices.size() * kReservedPerIndex);
  char number[16];
  for (const uint32_t index : indices) {
    // Unsigned, so that no index can turn into a negative number that <p> does not accept.
    char* end = std::to_chars(number, number + sizeof(number), index).ptr;
    *end++ = ' ';
    text.append(number, end);
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

// Writes the seed corpora of the fuzz targets from real drawings: the built-in sample and any
// model files named on the command line. For each drawing:
// - SceneOperationFuzzer: the drawing's scene stream, encoded as that target decodes it (counts
//   beyond its caps are cut there);
// - LinkReaderFuzzer: the main mapping and segments of a small link document after that stream
//   was applied and committed;
// - ColladaTextFuzzer: each material's name with a colour component.
//
// Use: FuzzSeedWriter CORPUS_FOLDER [MODEL ...]; the folder gets one subfolder per target.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/fuzz/FuzzSeedDocument.h"
#include "tools/host/DrawingOperations.h"
#include "tools/host/ModelDrawing.h"
#include "tools/host/SampleDrawing.h"

namespace {

// The fuzz targets' caps (see their decoders).
constexpr size_t kMaxElements = 24;
constexpr size_t kMaxMeshes = 3;
constexpr int kMaxImageSide = 40;

class Encoder {
public:
  void Byte(uint8_t value) { bytes.push_back(value); }
  template <class T>
  void Raw(const T& value) {
    const auto* data = reinterpret_cast<const uint8_t*>(&value);
    bytes.insert(bytes.end(), data, data + sizeof(T));
  }
  void Number(double value) {
    Byte(10);  // any bit pattern
    Raw(value);
  }
  void Id(const SceneId& id) {
    Byte(0xF0);  // any 128 bits
    Raw(id.low);
    Raw(id.high);
  }
  size_t Count(size_t count, size_t limit) {
    const size_t kept = std::min(count, limit);
    Byte(static_cast<uint8_t>(kept));
    return kept;
  }

  std::vector<uint8_t> bytes;
};

void EncodeMesh(Encoder& out, const VGS::HostMesh& mesh) {
  const size_t positions = out.Count(mesh.positions.count, kMaxElements);
  for (size_t index = 0; index < positions; ++index) {
    for (double value : {mesh.positions[index].x, mesh.positions[index].y, mesh.positions[index].z}) out.Number(value);
  }
  out.Byte(0);  // one normal a position
  for (size_t index = 0; index < positions; ++index) {
    const VGS::HostVector3 normal = index < mesh.normals.count ? mesh.normals[index] : VGS::HostVector3{0, 0, 1};
    for (double value : {normal.x, normal.y, normal.z}) out.Number(value);
  }
  const size_t channels = out.Count(mesh.uvChannels.count, 2);
  for (size_t channel = 0; channel < channels; ++channel) {
    out.Byte(0);  // one UV a position
    for (size_t index = 0; index < positions; ++index) {
      const VGS::HostUV uv = index < mesh.uvChannels[channel].count ? mesh.uvChannels[channel][index] : VGS::HostUV{0, 0};
      out.Number(uv.u);
      out.Number(uv.v);
    }
  }
  // Only the triangles whose corners survived the cut.
  std::vector<VGS::HostTriangle> triangles;
  for (const VGS::HostTriangle& triangle : mesh.triangles) {
    if (triangle.a < positions && triangle.b < positions && triangle.c < positions) triangles.push_back(triangle);
  }
  const size_t count = out.Count(triangles.size(), kMaxElements);
  for (size_t index = 0; index < count; ++index) {
    for (uint32_t corner : {triangles[index].a, triangles[index].b, triangles[index].c}) out.Byte(static_cast<uint8_t>(corner));
  }
}

void EncodeImage(Encoder& out, const VGS::HostMaterialImage& image) {
  const bool hasSamples = image.samples && image.width > 0 && image.height > 0;
  const int width = hasSamples ? std::min(image.width, kMaxImageSide) : 0;
  const int height = hasSamples ? std::min(image.height, kMaxImageSide) : 0;
  const uint32_t channels = image.channelCount % 6;
  // Shape: channel count in the low bits (nonzero means samples), unsigned bytes, small size.
  out.Byte(static_cast<uint8_t>(hasSamples ? channels : 0));
  out.Byte(static_cast<uint8_t>(width));
  out.Byte(static_cast<uint8_t>(height));
  if (!hasSamples || channels == 0) return;
  const auto* samples = static_cast<const uint8_t*>(image.samples);
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width * int(channels); ++column) out.Byte(samples[(size_t(row) * image.width) * channels + column]);
  }
}

void EncodeOperation(Encoder& out, const VGS::Operation& operation) {
  out.Byte(static_cast<uint8_t>(operation.kind - 1));
  switch (operation.kind) {
    case VGS::kRemoveGeometry:
    case VGS::kRemoveInstance:
    case VGS::kTouchMaterial:
      out.Id(*static_cast<const SceneId*>(operation.data));
      break;
    case VGS::kSetGeometry: {
      const auto& data = *static_cast<const VGS::SetGeometryData*>(operation.data);
      out.Id(data.geometry);
      const size_t meshes = out.Count(data.meshes.count, kMaxMeshes);
      for (size_t index = 0; index < meshes; ++index) EncodeMesh(out, data.meshes[index]);
      out.Byte(data.isSolid);
      break;
    }
    case VGS::kPlaceInstance: {
      const auto& data = *static_cast<const VGS::PlaceInstanceData*>(operation.data);
      out.Id(data.instance);
      out.Id(data.geometry);
      break;
    }
    case VGS::kSetInstanceTransform: {
      const auto& data = *static_cast<const VGS::SetInstanceTransformData*>(operation.data);
      out.Id(data.instance);
      out.Byte(0xFF);  // every element given
      for (double value : data.matrix) out.Number(value);
      break;
    }
    case VGS::kSetInstanceMaterials: {
      const auto& data = *static_cast<const VGS::SetInstanceMaterialsData*>(operation.data);
      out.Id(data.instance);
      const size_t surfaces = out.Count(data.surfaceMaterials.count, 5);
      for (size_t surface = 0; surface < surfaces; ++surface) {
        const size_t ids = out.Count(data.surfaceMaterials[surface].count, 3);
        for (size_t index = 0; index < ids; ++index) out.Id(data.surfaceMaterials[surface][index]);
      }
      break;
    }
    case VGS::kAddMaterial: {
      const auto& data = *static_cast<const VGS::AddMaterialData*>(operation.data);
      out.Id(data.material);
      const std::u16string& name = data.name.GetStdUString();
      const size_t units = out.Count(name.size(), 40);
      for (size_t index = 0; index < units; ++index) {
        out.Byte(0xE0);  // any unit
        out.Raw(name[index]);
      }
      break;
    }
    case VGS::kSetMaterialProperties: {
      const auto& data = *static_cast<const VGS::SetMaterialPropertiesData*>(operation.data);
      out.Id(data.material);
      for (double value : {data.red, data.green, data.blue, data.alpha}) out.Number(value);
      EncodeImage(out, data.colourImage);
      EncodeImage(out, data.opacityImage);
      break;
    }
    default:
      break;
  }
  out.Byte(0);  // the payload is there
}

std::vector<uint8_t> EncodeStream(const Drawing& drawing, const DrawingOperations& operations) {
  Encoder out;
  out.Byte(static_cast<uint8_t>(kSeedDocumentBlocks - 2));
  out.Byte(1);  // repaired, not optimised, not welded at export
  for (const auto& batch : operations.batches()) {
    for (const VGS::Operation& operation : batch) EncodeOperation(out, operation);
    out.Byte(VGS::kEndBatch - 1);
  }
  out.Byte(VGS::kViewChanged - 1);
  const double* numbers = &drawing.view.eye[0];
  for (int index = 0; index < 12; ++index) out.Number(numbers[index]);
  return out.bytes;
}

std::vector<uint8_t> EncodeName(const std::u16string& name, float value) {
  Encoder out;
  out.Byte(2);  // three decimals, as the file's numbers have
  out.Raw(value);
  for (char16_t unit : name) out.Raw(unit);
  return out.bytes;
}

void Save(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "use: %s CORPUS_FOLDER [MODEL ...]\n", argv[0]);
    return 2;
  }
  const std::filesystem::path corpus = argv[1];
  std::vector<std::pair<std::string, std::shared_ptr<const Drawing>>> drawings{
      {"sample", std::make_shared<const Drawing>(MakeSampleDrawing())}};
  for (int index = 2; index < argc; ++index) {
    std::string error;
    std::vector<std::string> warnings;
    std::optional<Drawing> drawing = LoadModelDrawing(argv[index], std::nullopt, error, warnings);
    if (!drawing) {
      std::fprintf(stderr, "%s: %s\n", argv[index], error.c_str());
      return 1;
    }
    drawings.emplace_back(std::filesystem::path(argv[index]).stem().string(), std::make_shared<const Drawing>(std::move(*drawing)));
  }
  const std::string process = std::to_string(getpid());
  for (const auto& [label, drawing] : drawings) {
    const DrawingOperations operations(drawing);
    Save(corpus / "SceneOperationFuzzer" / label, EncodeStream(*drawing, operations));
    const std::string name = "fuzz-seed-" + process;
    Save(corpus / "LinkReaderFuzzer" / label, CommittedDocumentSeed(operations.batches(), std::u16string(name.begin(), name.end())));
    size_t index = 0;
    for (const DrawingMaterial& material : drawing->materials) {
      if (index == 4) break;  // a few names a drawing are enough
      Save(corpus / "ColladaTextFuzzer" / (label + "-" + std::to_string(++index)), EncodeName(material.name, float(material.red)));
    }
  }
  return 0;
}

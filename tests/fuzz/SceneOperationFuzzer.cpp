// The host's scene-operation stream on arbitrary input: batches of operations of kinds 1 to 15
// with any payload, applied to the material set and the geometry cache attached to a link
// document as the link and the export command attach them; each batch's end flushes both stores
// and commits, and the stream's end writes the document as a COLLADA file, which must be
// well-formed XML whose numbers are all finite.
//
// The decoder keeps the host's side of the contract (a sequence's count is the number of elements
// its data holds, an image holds width × height × channels samples) and small sizes, so that one
// run takes a few milliseconds; every count, index, id, number and image size within that is the
// input's to choose, and only the product's own checks stand between it and memory.

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <expat.h>

#include "export/ColladaWriter.h"
#include "link/LinkCamera.h"
#include "platform/Parallel.h"
#include "scene/SceneGeometryCache.h"
#include "scene/SceneMaterialSet.h"
#include "scene/SceneOperation.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/scene/SceneTestSupport.h"
#include "transport/TideLinkDocumentImpl.h"

namespace {

constexpr size_t kMaxElements = 24;
constexpr int kMaxImageSide = 40;

std::filesystem::path scratch;

std::u16string Utf16(const std::string& text) { return {text.begin(), text.end()}; }

// A few ids collide often (the default material's among them); the rest are any 128 bits.
SceneId Id(FuzzInput& in) {
  const uint8_t choice = in.Byte();
  if (choice == 0xFF) return kNoSceneId;
  if (choice < 0xF0) return {choice % 8u, 0};
  return {in.Raw<uint64_t>(), in.Raw<uint64_t>()};
}

size_t Count(FuzzInput& in, size_t limit) { return in.Byte() % (limit + 1); }

// Index into a small vertex range mostly, any 32-bit value sometimes.
uint32_t Index(FuzzInput& in) {
  const uint8_t choice = in.Byte();
  return choice < 0xF0 ? choice % 32u : in.Raw<uint32_t>();
}

std::u16string Text(FuzzInput& in) {
  std::u16string text(Count(in, 40), u'\0');
  for (char16_t& unit : text) {
    const uint8_t choice = in.Byte();
    unit = choice < 0xE0 ? static_cast<char16_t>(u' ' + choice % 96) : in.Raw<char16_t>();
  }
  return text;
}

HostMeshData Mesh(FuzzInput& in) {
  HostMeshData mesh;
  const auto vector3 = [&] { return VGS::HostVector3{in.Number(), in.Number(), in.Number()}; };
  mesh.positions.resize(Count(in, kMaxElements));
  for (auto& position : mesh.positions) position = vector3();
  // Usually one normal a position; any other count is the product's to cope with.
  mesh.normals.resize(in.Byte() < 0xC0 ? mesh.positions.size() : Count(in, kMaxElements));
  for (auto& normal : mesh.normals) normal = vector3();
  mesh.uvChannels.resize(Count(in, 2));
  for (auto& channel : mesh.uvChannels) {
    channel.resize(in.Byte() < 0xC0 ? mesh.positions.size() : Count(in, kMaxElements));
    for (auto& uv : channel) uv = {in.Number(), in.Number()};
  }
  mesh.triangles.resize(Count(in, kMaxElements));
  for (auto& triangle : mesh.triangles) triangle = {Index(in), Index(in), Index(in)};
  return mesh;
}

// An image's samples, sized as its header says; a size the product must refuse (negative, or more
// pixels than the link carries) comes with a few bytes only, which the product must not read.
struct OwnedImage {
  VGS::HostMaterialImage header{};
  std::vector<uint8_t> samples;
};

OwnedImage Image(FuzzInput& in) {
  OwnedImage image;
  VGS::HostMaterialImage& header = image.header;
  const uint8_t shape = in.Byte();
  header.channelCount = shape & 0x80 ? in.Raw<uint32_t>() : shape % 6;
  header.sampleFormat = shape & 0x40 ? in.Raw<uint32_t>() : (shape >> 3) & 1;
  if (shape & 0x20) {
    header.width = in.Raw<int32_t>();
    header.height = in.Raw<int32_t>();
  } else {
    header.width = in.Byte() % (kMaxImageSide + 1);
    header.height = in.Byte() % (kMaxImageSide + 1);
  }
  const bool refused = header.width < 0 || header.height < 0 ||
                       uint64_t(header.width) * uint64_t(header.height) > kMaxTexturePixels;
  if (!refused && (header.width > kMaxImageSide || header.height > kMaxImageSide)) {
    header.width %= kMaxImageSide + 1;
    header.height %= kMaxImageSide + 1;
  }
  const uint64_t sampleBytes = header.sampleFormat == VGS::kSampleUnsignedByte ? 1 : sizeof(float);
  if (!(shape & 0x07)) {
    // No samples, whatever the size says.
  } else if (refused) {
    image.samples.resize(4);
  } else if (header.channelCount <= 8) {
    image.samples.resize(uint64_t(header.width) * uint64_t(header.height) * header.channelCount * sampleBytes);
  }
  for (uint8_t& sample : image.samples) sample = in.Byte();
  header.samples = image.samples.empty() ? nullptr : image.samples.data();
  return image;
}

// One operation from the input, handed to the stores (or, for kind 15, the camera) while its
// payload lives. Kinds 1 and 2 bound the batch, which the caller flushes and commits.
struct Stores {
  std::shared_ptr<TideLinkDocumentImpl> document;
  SceneMaterialSet materials;
  SceneGeometryCache geometry{materials};
  GeometrySettings settings;
};

void Apply(int32_t kind, FuzzInput& in, Stores& stores) {
  const auto apply = [&](const void* payload) {
    // A record without its payload is the host's to send too.
    ApplySceneOperation({kind, in.Byte() == 0xFF ? nullptr : payload}, stores.geometry, stores.materials);
  };
  switch (kind) {
    case VGS::kRemoveGeometry:
    case VGS::kRemoveInstance:
    case VGS::kTouchMaterial: {
      const SceneId id = Id(in);
      apply(&id);
      break;
    }
    case VGS::kSetGeometry: {
      const SceneId id = Id(in);
      std::vector<HostMeshData> meshes(Count(in, 3));
      for (auto& mesh : meshes) mesh = Mesh(in);
      HostGeometry geometry(id, std::move(meshes), in.Byte() & 1);
      VGS::SetGeometryData data = geometry.Data();
      apply(&data);
      break;
    }
    case VGS::kPlaceInstance: {
      const VGS::PlaceInstanceData data{Id(in), Id(in)};
      apply(&data);
      break;
    }
    case VGS::kSetInstanceTransform: {
      VGS::SetInstanceTransformData data{Id(in), {}};
      const uint8_t shape = in.Byte();
      for (int index = 0; index < 16; ++index) {
        // Mostly an affine matrix (the host's), with any number in any element otherwise.
        const bool affineZero = shape < 0xC0 && (index == 3 || index == 7 || index == 11);
        data.matrix[index] = affineZero ? 0.0 : shape < 0xC0 && index == 15 ? 1.0 : in.Number();
      }
      apply(&data);
      break;
    }
    case VGS::kSetInstanceMaterials: {
      const SceneId instance = Id(in);
      std::vector<std::vector<SceneId>> surfaces(Count(in, 5));
      for (auto& surface : surfaces) {
        surface.resize(Count(in, 3));
        for (SceneId& id : surface) id = Id(in);
      }
      HostMaterialList list(instance, std::move(surfaces));
      VGS::SetInstanceMaterialsData data = list.Data();
      apply(&data);
      break;
    }
    case VGS::kAddMaterial: {
      const VGS::AddMaterialData data{Id(in), TXString(Text(in))};
      apply(&data);
      break;
    }
    case VGS::kSetMaterialProperties: {
      VGS::SetMaterialPropertiesData data{Id(in), in.Number(), in.Number(), in.Number(), in.Number(), {}, {}, {}};
      const OwnedImage colour = Image(in);
      const OwnedImage opacity = Image(in);
      data.colourImage = colour.header;
      data.opacityImage = opacity.header;
      apply(&data);
      break;
    }
    case VGS::kViewChanged: {
      VGS::CameraReport report{};
      double* numbers = &report.eye[0];
      for (int index = 0; index < 12; ++index) numbers[index] = in.Number();
      if (const std::optional<LinkCamera> camera = CameraFromReport(report)) {
        if (camera->HasCamera()) stores.document->SetCamera(camera->matrix.data(), camera->fieldOfView);
        else stores.document->ClearCamera();
      }
      break;
    }
    default:
      apply(nullptr);
      break;
  }
}

void FlushAndCommit(Stores& stores) {
  stores.materials.flush();
  stores.geometry.flush();
  stores.document->Commit();
}

struct NumberCheck {
  std::string element;
  bool inNumbers = false;
  std::string nonFinite;  // the first piece of number text that is not a number
};

// The elements whose text is numbers.
bool HoldsNumbers(const char* element) {
  for (const char* name : {"float_array", "matrix", "color", "float", "p"}) {
    if (std::strcmp(element, name) == 0) return true;
  }
  return false;
}

void CheckExport(const std::filesystem::path& file) {
  std::ifstream stream(file, std::ios::binary);
  if (!stream) return;  // Nothing to write is a result too.
  std::stringstream content;
  content << stream.rdbuf();
  const std::string text = content.str();
  NumberCheck check;
  XML_Parser parser = XML_ParserCreate("UTF-8");
  XML_SetUserData(parser, &check);
  XML_SetElementHandler(
      parser, [](void* user, const XML_Char* name, const XML_Char**) { static_cast<NumberCheck*>(user)->inNumbers = HoldsNumbers(name); },
      [](void* user, const XML_Char*) { static_cast<NumberCheck*>(user)->inNumbers = false; });
  XML_SetCharacterDataHandler(parser, [](void* user, const XML_Char* data, int length) {
    auto* check = static_cast<NumberCheck*>(user);
    if (!check->inNumbers) return;
    const std::string_view piece(data, static_cast<size_t>(length));
    if (check->nonFinite.empty() && piece.find_first_of("NnIi") != std::string_view::npos) check->nonFinite = piece.substr(0, 200);
  });
  const bool wellFormed = XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  if (!wellFormed || !check.nonFinite.empty()) {
    std::fprintf(stderr, "SceneOperationFuzzer: the export is %s%s\n",
                 wellFormed ? "carrying a non-finite number: " : "not well-formed", check.nonFinite.c_str());
    std::abort();
  }
}

void RemoveScratch() {
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Registry, message windows, debug output and the exported file in a scratch folder of memory
  // (the registry syncs its file at every change, which on a disk would cost most of each run).
  scratch = std::filesystem::path("/dev/shm") / ("tidelink-fuzz-" + std::to_string(getpid()));
  std::filesystem::create_directories(scratch);
  ::chmod(scratch.c_str(), 0700);
  setenv("TIDELINK_REGISTRY", (scratch / "registry.sqlite").c_str(), 1);
  setenv("TIDELINK_RUNTIME_DIR", scratch.c_str(), 1);
  setenv("TIDELINK_DEBUG_LOG", (scratch / "debug.log").c_str(), 1);
  std::atexit(RemoveScratch);
  // The pool's workers would spin between the short parallel loops of each run, which costs more
  // than the run; the loops' bodies are the same on one thread (races are the TSan build's).
  static platform::WorkerLimit oneThread(1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  Stores stores;
  // A small document, so that running out of blocks is reached too.
  stores.document = TideLinkDocumentImpl::Create(Utf16("fuzz-scene-" + std::to_string(getpid())), 2 + in.Byte() % 40);
  const uint8_t settings = in.Byte();
  stores.settings = {(settings & 1) != 0, (settings & 2) != 0};
  stores.materials.attach(stores.document);
  stores.geometry.attach(stores.document, &stores.settings);
  while (!in.empty()) {
    const int32_t kind = 1 + in.Byte() % 15;
    if (kind == VGS::kEndBatch) FlushAndCommit(stores);
    else Apply(kind, in, stores);
  }
  FlushAndCommit(stores);

  ColladaExportOptions options;
  options.path = Utf16((scratch / "export.dae").string());
  options.exportNodes = true;
  options.optimizeSurfaces = (settings & 4) != 0;
  options.nodeTransforms = stores.geometry.nonIdentityTransforms();
  ColladaWriter writer(options);
  if (stores.document->ExportCollada(writer) == 0) CheckExport(scratch / "export.dae");
  std::error_code ignored;
  std::filesystem::remove(scratch / "export.dae", ignored);
  std::filesystem::remove_all(scratch / "export_Textures", ignored);

  stores.geometry.detach();
  stores.materials.detach();
  return 0;
}

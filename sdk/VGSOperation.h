#pragma once

#include <cstdint>

#include "sdk/SceneId.h"
#include "sdk/Sequence.h"
#include "sdk/TXString.h"

// Scene operations the host pushes to a registered handler while it walks the drawing.
namespace VGS {

enum OperationKind : int32_t {
  kBeginBatch = 1,
  kEndBatch = 2,
  kEndOfStream = 4,
  kRemoveGeometry = 6,          // payload: SceneId
  kSetGeometry = 7,             // payload: SetGeometryData
  kPlaceInstance = 8,           // payload: PlaceInstanceData
  kRemoveInstance = 9,          // payload: SceneId
  kSetInstanceTransform = 10,   // payload: SetInstanceTransformData
  kSetInstanceMaterials = 11,   // payload: SetInstanceMaterialsData
  kAddMaterial = 12,            // payload: AddMaterialData
  kTouchMaterial = 13,          // payload: SceneId
  kSetMaterialProperties = 14,  // payload: SetMaterialPropertiesData
  kViewChanged = 15,            // payload: CameraReport
};

// One record of the stream. `data` points at the payload of `kind` (null for kinds without one)
// and is valid only during the handler call.
struct Operation {
  int32_t kind = 0;
  const void* data = nullptr;
};

struct HostVector3 {
  double x, y, z;
};

struct HostUV {
  double u, v;
};

struct HostTriangle {
  uint32_t a, b, c;
};

// One host mesh record; normals has as many elements as positions, only UV channel 0 is used.
struct HostMesh {
  Sequence<HostVector3> positions;
  Sequence<HostVector3> normals;
  Sequence<Sequence<HostUV>> uvChannels;
  Sequence<HostTriangle> triangles;
};

struct SetGeometryData {
  SceneId geometry;
  Sequence<HostMesh> meshes;
  uint8_t isSolid;
};

struct PlaceInstanceData {
  SceneId instance;
  SceneId geometry;
};

// Row-major 4×4, translation in elements 12 to 14.
struct SetInstanceTransformData {
  SceneId instance;
  double matrix[16];
};

// One list of material ids per surface of the instance's geometry.
struct SetInstanceMaterialsData {
  SceneId instance;
  Sequence<Sequence<SceneId>> surfaceMaterials;
};

struct AddMaterialData {
  SceneId material;
  TXString name;
};

enum SampleFormat : uint32_t {
  kSampleUnsignedByte = 0,  // 0 to 255
  kSampleFloat = 1,         // 0 to 1
};

// Row by row, channels interleaved: 1 grey, 3 RGB, 4 RGBA.
struct HostMaterialImage {
  int32_t width;
  int32_t height;
  uint32_t channelCount;
  uint32_t sampleFormat;
  const void* samples;
};

struct SetMaterialPropertiesData {
  SceneId material;
  double red, green, blue, alpha;  // each 0 to 1
  uint8_t reserved[8];
  HostMaterialImage colourImage;
  HostMaterialImage opacityImage;  // used only with one channel
};

// View report in host units; focalDistance 0 means the view has no camera.
struct CameraReport {
  double eye[3];
  double direction[3];
  double up[3];
  double unused;
  double extent;
  double focalDistance;
};
static_assert(sizeof(CameraReport) == 12 * sizeof(double));

}  // namespace VGS

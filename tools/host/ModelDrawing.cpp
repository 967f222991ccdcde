#include "tools/host/ModelDrawing.h"

#include <assimp/Importer.hpp>
#include <assimp/commonMetaData.h>
#include <assimp/material.h>
#include <assimp/metadata.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>

#include "platform/TextConversion.h"
#include "platform/Utf8Path.h"
#include "tools/host/ImageDecoder.h"

namespace {

std::optional<double> MetadataNumber(const aiMetadata* metadata, const char* key) {
  if (!metadata) return std::nullopt;
  const aiMetadataEntry* entry = nullptr;
  if (!metadata->Get(aiString(key), entry) || !entry || !entry->mData) return std::nullopt;
  switch (entry->mType) {
    case AI_BOOL: return *static_cast<const bool*>(entry->mData) ? 1.0 : 0.0;
    case AI_INT32: return *static_cast<const int32_t*>(entry->mData);
    case AI_UINT64: return double(*static_cast<const uint64_t*>(entry->mData));
    case AI_FLOAT: return *static_cast<const float*>(entry->mData);
    case AI_DOUBLE: return *static_cast<const double*>(entry->mData);
    default: return std::nullopt;
  }
}

bool IsFbx(const aiMetadata* metadata) {
  aiString format;
  return metadata && metadata->Get(AI_METADATA_SOURCE_FORMAT, format) &&
         std::string(format.C_Str()).find("FBX") != std::string::npos;
}

// The file's axes: which of its axes points right, up and towards the viewer, with their signs.
struct FileAxes {
  int right = 0, up = 1, front = 2;
  double rightSign = 1, upSign = 1, frontSign = 1;
  std::string source;  // why these, for the drawing's description
};

FileAxes AxesOf(UpAxis up, std::string source) {
  // Y up: Z towards the viewer. Z up: Y away from the viewer (the front is −Y).
  return up == UpAxis::kY ? FileAxes{0, 1, 2, 1, 1, 1, std::move(source)} : FileAxes{0, 2, 1, 1, 1, -1, std::move(source)};
}

std::optional<FileAxes> RecordedAxes(const aiMetadata* metadata) {
  const auto upAxis = MetadataNumber(metadata, "UpAxis");
  const auto frontAxis = MetadataNumber(metadata, "FrontAxis");
  const auto coordAxis = MetadataNumber(metadata, "CoordAxis");
  if (!upAxis || !frontAxis || !coordAxis) return std::nullopt;
  const int u = int(*upAxis), f = int(*frontAxis), c = int(*coordAxis);
  if (u < 0 || u >= 3 || f < 0 || f >= 3 || c < 0 || c >= 3 || u == f || u == c || f == c) return std::nullopt;
  FileAxes axes{c, u, f, 1, 1, 1, "as the file records"};
  axes.rightSign = MetadataNumber(metadata, "CoordAxisSign").value_or(1) < 0 ? -1 : 1;
  axes.upSign = MetadataNumber(metadata, "UpAxisSign").value_or(1) < 0 ? -1 : 1;
  axes.frontSign = MetadataNumber(metadata, "FrontAxisSign").value_or(1) < 0 ? -1 : 1;
  return axes;
}

FileAxes ChooseAxes(const aiScene& scene, const std::string& path, std::optional<UpAxis> asked) {
  if (asked) return AxesOf(*asked, "as asked");
  if (std::optional<FileAxes> recorded = RecordedAxes(scene.mMetaData)) return *recorded;
  const std::string extension = platform::Utf8FromPath(platform::PathFromUtf8(path).extension());
  return AxesOf(ConventionalUpAxis(path), "as " + (extension.empty() ? std::string("such") : extension.substr(1)) +
                                              " files have by convention");
}

// Maps the file's coordinates to host millimetres with Z up, as a row-vector transform.
DrawingTransform FileToHost(const aiScene& scene, const FileAxes& axes) {
  const aiMetadata* metadata = scene.mMetaData;
  // FBX records centimetres per unit; Assimp leaves the file's own units in place.
  double millimetresPerUnit = 1000;
  if (IsFbx(metadata)) {
    if (auto centimetres = MetadataNumber(metadata, "UnitScaleFactor"); centimetres && *centimetres > 0) {
      millimetresPerUnit = *centimetres * 10;
    }
  }
  // Right stays X, up becomes Z, front becomes −Y.
  DrawingTransform transform{};
  transform[axes.right * 4 + 0] = axes.rightSign * millimetresPerUnit;
  transform[axes.front * 4 + 1] = -axes.frontSign * millimetresPerUnit;
  transform[axes.up * 4 + 2] = axes.upSign * millimetresPerUnit;
  transform[15] = 1;
  return transform;
}

// Assimp's matrices act on column vectors; the host's on row vectors.
DrawingTransform RowVectorTransform(const aiMatrix4x4& m) {
  return {m.a1, m.b1, m.c1, m.d1, m.a2, m.b2, m.c2, m.d2, m.a3, m.b3, m.c3, m.d3, m.a4, m.b4, m.c4, m.d4};
}

DrawingMesh ConvertMesh(const aiMesh& source) {
  DrawingMesh mesh;
  const unsigned vertexCount = source.mVertices ? source.mNumVertices : 0;
  mesh.positions.reserve(vertexCount);
  mesh.normals.reserve(vertexCount);
  for (unsigned vertex = 0; vertex < vertexCount; ++vertex) {
    const aiVector3D& p = source.mVertices[vertex];
    mesh.positions.push_back({p.x, p.y, p.z});
    const aiVector3D n = source.mNormals ? source.mNormals[vertex] : aiVector3D(0, 0, 1);
    mesh.normals.push_back({n.x, n.y, n.z});
  }
  if (const aiVector3D* uvs = source.mTextureCoords[0]) {
    mesh.uvs.reserve(vertexCount);
    for (unsigned vertex = 0; vertex < vertexCount; ++vertex) mesh.uvs.push_back({uvs[vertex].x, uvs[vertex].y});
  }
  mesh.triangles.reserve(source.mNumFaces);
  for (unsigned face = 0; face < source.mNumFaces; ++face) {
    const aiFace& f = source.mFaces[face];
    // Points and lines have no surface; a bad index would send the receiver out of bounds.
    if (f.mNumIndices != 3 || !f.mIndices) continue;
    if (f.mIndices[0] >= vertexCount || f.mIndices[1] >= vertexCount || f.mIndices[2] >= vertexCount) continue;
    mesh.triangles.push_back({f.mIndices[0], f.mIndices[1], f.mIndices[2]});
  }
  return mesh;
}

// A one-channel copy of an image: grey stays, colour keeps its alpha if it has one, else its red.
DrawingImage GreyImage(const DrawingImage& image) {
  if (image.channelCount == 1) return image;
  DrawingImage grey{image.width, image.height, 1, std::vector<uint8_t>(size_t(image.width) * image.height)};
  const uint32_t channel = image.channelCount == 4 ? 3 : 0;
  for (size_t pixel = 0; pixel < grey.samples.size(); ++pixel) {
    grey.samples[pixel] = image.samples[pixel * image.channelCount + channel];
  }
  return grey;
}

class MaterialConverter {
public:
  MaterialConverter(const aiScene& scene, std::filesystem::path folder, std::vector<std::string>& warnings)
      : scene_(scene), folder_(std::move(folder)), warnings_(warnings) {}

  DrawingMaterial Convert(const aiMaterial& source, uint64_t index) {
    DrawingMaterial material;
    material.id = MakeDrawingId(DrawingIdKind::kMaterial, index);
    aiString name;
    if (source.Get(AI_MATKEY_NAME, name) == AI_SUCCESS && name.length > 0) {
      material.name = platform::Utf16FromUtf8(name.C_Str());
    } else {
      material.name = u"Material " + platform::Utf16FromUtf8(std::to_string(index + 1));
    }
    aiColor4D colour(0.8f, 0.8f, 0.8f, 1.0f);
    if (source.Get(AI_MATKEY_COLOR_DIFFUSE, colour) != AI_SUCCESS) source.Get(AI_MATKEY_BASE_COLOR, colour);
    float opacity = colour.a;
    source.Get(AI_MATKEY_OPACITY, opacity);
    material.red = std::clamp<double>(colour.r, 0, 1);
    material.green = std::clamp<double>(colour.g, 0, 1);
    material.blue = std::clamp<double>(colour.b, 0, 1);
    material.alpha = std::clamp<double>(opacity, 0, 1);

    if (const DrawingImage* image = Texture(source, aiTextureType_DIFFUSE)) {
      material.colourImage = *image;
    } else if (const DrawingImage* base = Texture(source, aiTextureType_BASE_COLOR)) {
      material.colourImage = *base;
    }
    if (const DrawingImage* opacityImage = Texture(source, aiTextureType_OPACITY)) {
      material.opacityImage = GreyImage(*opacityImage);
    }
    return material;
  }

private:
  // The decoded image of the material's first texture of `type`, or null. Each texture is decoded
  // once, however many materials use it.
  const DrawingImage* Texture(const aiMaterial& material, aiTextureType type) {
    aiString path;
    if (material.GetTextureCount(type) == 0 || material.GetTexture(type, 0, &path) != AI_SUCCESS) return nullptr;
    const std::string key = path.C_Str();
    if (key.empty()) return nullptr;
    auto found = images_.find(key);
    if (found == images_.end()) found = images_.emplace(key, Decode(key)).first;
    return found->second ? &*found->second : nullptr;
  }

  std::optional<DrawingImage> Decode(const std::string& path) {
    std::string error;
    std::optional<DrawingImage> image;
    if (const aiTexture* embedded = scene_.GetEmbeddedTexture(path.c_str())) {
      image = DecodeEmbedded(*embedded, error);
    } else {
      std::string relative = path;
      std::replace(relative.begin(), relative.end(), '\\', '/');
      std::filesystem::path file = folder_ / platform::PathFromUtf8(relative);
      // Files written elsewhere often name a texture by a path of that machine; the usual copy
      // lies beside the model.
      std::error_code missing;
      if (!std::filesystem::exists(file, missing)) file = folder_ / platform::PathFromUtf8(relative).filename();
      image = DecodeImageFile(platform::Utf8FromPath(file), error);
    }
    if (!image) warnings_.push_back("texture \"" + path + "\" left out: " + error);
    return image;
  }

  static std::optional<DrawingImage> DecodeEmbedded(const aiTexture& texture, std::string& error) {
    if (!texture.pcData) {
      error = "no data";
      return std::nullopt;
    }
    if (texture.mHeight == 0) {  // a whole image file of mWidth bytes
      return DecodeImage({reinterpret_cast<const uint8_t*>(texture.pcData), texture.mWidth}, error);
    }
    if (uint64_t(texture.mWidth) * texture.mHeight > kMaxImagePixels) {
      error = "too large";
      return std::nullopt;
    }
    DrawingImage image{int32_t(texture.mWidth), int32_t(texture.mHeight), 4, {}};
    image.samples.reserve(size_t(texture.mWidth) * texture.mHeight * 4);
    for (size_t texel = 0; texel < size_t(texture.mWidth) * texture.mHeight; ++texel) {
      const aiTexel& t = texture.pcData[texel];
      image.samples.insert(image.samples.end(), {t.r, t.g, t.b, t.a});
    }
    return image;
  }

  const aiScene& scene_;
  std::filesystem::path folder_;
  std::vector<std::string>& warnings_;
  std::map<std::string, std::optional<DrawingImage>> images_;
};

class NodeWalker {
public:
  NodeWalker(const aiScene& scene, Drawing& drawing) : scene_(scene), drawing_(drawing) {
    for (unsigned index = 0; index < scene.mNumMeshes; ++index) {
      converted_.push_back(scene.mMeshes[index] ? ConvertMesh(*scene.mMeshes[index]) : DrawingMesh{});
    }
  }

  void Walk(const aiNode& node, const DrawingTransform& parentToHost, int depth) {
    // Deeper than any real file nests; a cycle or a hostile file must not exhaust the stack.
    if (depth > 1000) return;
    const DrawingTransform nodeToHost = MultiplyTransforms(RowVectorTransform(node.mTransformation), parentToHost);
    std::vector<unsigned> shown;
    for (unsigned slot = 0; slot < node.mNumMeshes && node.mMeshes; ++slot) {
      const unsigned mesh = node.mMeshes[slot];
      if (mesh < converted_.size() && !converted_[mesh].triangles.empty()) shown.push_back(mesh);
    }
    if (!shown.empty()) Place(node.mName.C_Str(), shown, nodeToHost);
    for (unsigned child = 0; child < node.mNumChildren && node.mChildren; ++child) {
      if (node.mChildren[child]) Walk(*node.mChildren[child], nodeToHost, depth + 1);
    }
  }

private:
  void Place(const std::string& nodeName, const std::vector<unsigned>& meshes, const DrawingTransform& transform) {
    auto geometry = geometryOfMeshes_.find(meshes);
    if (geometry == geometryOfMeshes_.end()) {
      DrawingGeometry entry;
      entry.id = MakeDrawingId(DrawingIdKind::kGeometry, drawing_.geometries.size());
      entry.name = "geometry-" + std::to_string(drawing_.geometries.size() + 1);
      for (unsigned mesh : meshes) entry.meshes.push_back(converted_[mesh]);
      entry.isSolid = IsClosedSurface(entry.meshes);
      drawing_.geometries.push_back(std::move(entry));
      geometry = geometryOfMeshes_.emplace(meshes, drawing_.geometries.back().id).first;
    }
    DrawingInstance instance;
    instance.id = MakeDrawingId(DrawingIdKind::kInstance, drawing_.instances.size());
    instance.name = UniqueInstanceName(nodeName);
    instance.geometry = geometry->second;
    instance.transform = transform;
    for (unsigned mesh : meshes) {
      instance.surfaceMaterials.push_back(MakeDrawingId(DrawingIdKind::kMaterial, scene_.mMeshes[mesh]->mMaterialIndex));
    }
    drawing_.instances.push_back(std::move(instance));
  }

  // The node's name, or "instance" when it has none, with "-2", "-3", ... for its repeats.
  std::string UniqueInstanceName(const std::string& nodeName) {
    const std::string base = nodeName.empty() ? "instance" : nodeName;
    const int uses = ++nameUses_[base];
    return uses == 1 ? base : base + "-" + std::to_string(uses);
  }

  const aiScene& scene_;
  Drawing& drawing_;
  std::map<std::string, int> nameUses_;
  std::vector<DrawingMesh> converted_;
  std::map<std::vector<unsigned>, SceneId> geometryOfMeshes_;
};

}  // namespace

bool ModelImportAvailable() { return true; }

UpAxis ConventionalUpAxis(const std::string& path) {
  std::string extension = platform::Utf8FromPath(platform::PathFromUtf8(path).extension());
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char letter) { return char(std::tolower(letter)); });
  return extension == ".stl" || extension == ".ply" ? UpAxis::kZ : UpAxis::kY;
}

std::optional<Drawing> LoadModelDrawing(const std::string& path, std::optional<UpAxis> upAxis, std::string& error,
                                        std::vector<std::string>& warnings) {
  Assimp::Importer importer;
  // Points and lines are kept on reading (removing them leaves a file of nothing else unreadable)
  // and left out when meshes are converted: they have no surface to draw.
  const aiScene* scene = importer.ReadFile(
      path, aiProcess_Triangulate | aiProcess_GenSmoothNormals | aiProcess_JoinIdenticalVertices |
                aiProcess_SortByPType | aiProcess_ValidateDataStructure);
  if (!scene || !scene->mRootNode) {
    error = "cannot read " + path + ": " + importer.GetErrorString();
    return std::nullopt;
  }
  if (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) {
    error = "cannot read " + path + ": the file is incomplete";
    return std::nullopt;
  }

  Drawing drawing;
  const FileAxes axes = ChooseAxes(*scene, path, upAxis);
  drawing.description = platform::Utf8FromPath(platform::PathFromUtf8(path).filename());
  drawing.axes = std::string(axes.up == 2 ? "Z" : axes.up == 1 ? "Y" : "X") + " up, " + axes.source;
  MaterialConverter materials(*scene, platform::PathFromUtf8(path).parent_path(), warnings);
  for (unsigned index = 0; index < scene->mNumMaterials; ++index) {
    if (scene->mMaterials[index]) drawing.materials.push_back(materials.Convert(*scene->mMaterials[index], index));
  }
  NodeWalker walker(*scene, drawing);
  walker.Walk(*scene->mRootNode, FileToHost(*scene, axes), 0);
  if (drawing.instances.empty()) warnings.push_back(path + " holds no triangles (points and lines are not drawn)");
  drawing.view = OverviewCamera(drawing);
  return drawing;
}

#include "export/ColladaWriter.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "diag/DebugLog.h"
#include "export/TextModeFile.h"
#include "platform/FileSystem.h"
#include "platform/LocalTime.h"
#include "platform/Path.h"
#include "platform/TextConversion.h"
#include "transport/NumberText.h"
#include "transport/TextureSlot.h"
#include "transport/UriEscape.h"

namespace {

constexpr int kStepCount = 7;
constexpr const char16_t* kProgressMessages[kStepCount + 1] = {
    u"Ombrel Collada exporter: initializing\u2026",
    u"Ombrel Collada exporter: processing assets\u2026",
    u"Ombrel Collada exporter: processing images\u2026",
    u"Ombrel Collada exporter: processing effects\u2026",
    u"Ombrel Collada exporter: processing materials\u2026",
    u"Ombrel Collada exporter: processing geometries\u2026",
    u"Ombrel Collada exporter: processing nodes\u2026",
    u"Ombrel Collada exporter: export complete.",
};

constexpr std::string_view kAuthoringTool = "Ombrel TideLink COLLADA exporter ver 3.50.62";

constexpr std::string_view kMarkerEffect =
    "\t<effect id=\"effect-ombrelNode\" name=\"Ombrel Node Material\">\n"
    "\t\t<profile_COMMON>\n"
    "\t\t\t<technique sid=\"common\">\n"
    "\t\t\t\t<phong>\n"
    "\t\t\t\t\t<ambient>\n"
    "\t\t\t\t\t\t<color>0.1 0.1 0.1 1.0</color>\n"
    "\t\t\t\t\t</ambient>\n"
    "\t\t\t\t\t<diffuse>\n"
    "\t\t\t\t\t\t<color>1.0 1.0 1.0 1.0</color>\n"
    "\t\t\t\t\t</diffuse>\n"
    "\t\t\t\t\t<transparent opaque=\"RGB_ZERO\">\n"
    "\t\t\t\t\t\t<color>0.01 0.01 0.01 0.01</color>\n"
    "\t\t\t\t\t</transparent>\n"
    "\t\t\t\t\t<transparency>\n"
    "\t\t\t\t\t\t<float>1</float>\n"
    "\t\t\t\t\t</transparency>\n"
    "\t\t\t\t</phong>\n"
    "\t\t\t</technique>\n"
    "\t\t</profile_COMMON>\n"
    "\t\t<extra>\n"
    "\t\t\t<technique profile=\"OMBREL\">\n"
    "\t\t\t\t<surface_type>invisible</surface_type>\n"
    "\t\t\t</technique>\n"
    "\t\t</extra>\n"
    "\t</effect>\n";

constexpr std::string_view kMarkerMaterial =
    "\t<material id=\"material-ombrelNode\" name=\"Ombrel Node Material\">\n"
    "\t\t<instance_effect url=\"#effect-ombrelNode\" />\n"
    "\t</material>\n";

constexpr std::string_view kMarkerGeometry =
    "\t<geometry id=\"ombrelNode\" name=\"Ombrel Node Geometry\">\n"
    "\t\t<mesh>\n"
    "\t\t\t<source id=\"ombrelNode-positions\">\n"
    "\t\t\t\t<float_array id=\"ombrelNode-positions-array\" count=\"9\">0 0 -0.000001 0.000001 0 "
    "0.000001 -0.000001 0 0.01</float_array>\n"
    "\t\t\t\t<technique_common>\n"
    "\t\t\t\t\t<accessor source=\"#ombrelNode-positions-array\" count=\"3\" stride=\"3\">\n"
    "\t\t\t\t\t\t<param name=\"X\" type=\"float\"/>\n"
    "\t\t\t\t\t\t<param name=\"Y\" type=\"float\"/>\n"
    "\t\t\t\t\t\t<param name=\"Z\" type=\"float\"/>\n"
    "\t\t\t\t\t</accessor>\n"
    "\t\t\t\t</technique_common>\n"
    "\t\t\t</source>\n"
    "\t\t\t<source id=\"ombrelNode-normals\">\n"
    "\t\t\t\t<float_array id=\"ombrelNode-normals-array\" count=\"9\">0 1 0 0 1 0 0 1 0</float_array>\n"
    "\t\t\t\t<technique_common>\n"
    "\t\t\t\t\t<accessor source=\"#ombrelNode-normals-array\" count=\"3\" stride=\"3\">\n"
    "\t\t\t\t\t\t<param name=\"X\" type=\"float\"/>\n"
    "\t\t\t\t\t\t<param name=\"Y\" type=\"float\"/>\n"
    "\t\t\t\t\t\t<param name=\"Z\" type=\"float\"/>\n"
    "\t\t\t\t\t</accessor>\n"
    "\t\t\t\t</technique_common>\n"
    "\t\t\t</source>\n"
    "\t\t\t<source id=\"ombrelNode-uv\">\n"
    "\t\t\t\t<float_array id=\"ombrelNode-uv-array\" count=\"6\">0 0 1 0 0 0</float_array>\n"
    "\t\t\t\t<technique_common>\n"
    "\t\t\t\t\t<accessor source=\"#ombrelNode-uv-array\" count=\"3\" stride=\"2\">\n"
    "\t\t\t\t\t\t<param name=\"S\" type=\"float\"/>\n"
    "\t\t\t\t\t\t<param name=\"T\" type=\"float\"/>\n"
    "\t\t\t\t\t</accessor>\n"
    "\t\t\t\t</technique_common>\n"
    "\t\t\t</source>\n"
    "\t\t\t<vertices id=\"ombrelNode-vertices\">\n"
    "\t\t\t\t<input semantic=\"POSITION\" source=\"#ombrelNode-positions\"/>\n"
    "\t\t\t</vertices>\n"
    "\t\t\t<triangles count=\"1\" material=\"material-ombrelNode\">\n"
    "\t\t\t\t<input offset=\"0\" semantic=\"VERTEX\" source=\"#ombrelNode-vertices\"/>\n"
    "\t\t\t\t<input offset=\"0\" semantic=\"NORMAL\" source=\"#ombrelNode-normals\"/>\n"
    "\t\t\t\t<input offset=\"0\" semantic=\"TEXCOORD\" source=\"#ombrelNode-uv\" set=\"0\"/>\n"
    "\t\t\t\t<p>0 1 2</p>\n"
    "\t\t\t</triangles>\n"
    "\t\t</mesh>\n"
    "\t</geometry>\n";

constexpr std::string_view kMarkerInstance =
    "\t<instance_geometry url=\"#ombrelNode\">\n"
    "\t\t<bind_material>\n"
    "\t\t\t<technique_common>\n"
    "\t\t\t\t<instance_material target=\"#material-ombrelNode\" symbol=\"material-ombrelNode\" />\n"
    "\t\t\t</technique_common>\n"
    "\t\t</bind_material>\n"
    "\t</instance_geometry>\n";

// Column order of a marker node's matrix: the transform's rows become columns, with the second
// and third axes exchanged for the file's Z-up frame.
constexpr int kMatrixOrder[16] = {0, 4, 8, 12, 2, 6, 10, 14, 1, 5, 9, 13, 3, 7, 11, 15};
constexpr size_t kMatrixValueCount = 16;

std::string Fixed(float value, int decimals) {
  char text[kMaximumFixedTextSize];
  return std::string(text, AppendFixed(text, value, decimals));
}

std::string Count(uint64_t value) { return std::to_string(value); }

// "r g b a" with each colour part taken as 1/256 of its byte.
std::string ColorText(uint32_t color, float alpha) {
  constexpr float kPartScale = 0.00390625f;
  const auto part = [&](int shift) {
    return Fixed(static_cast<float>((color >> shift) & 255) * kPartScale, 3);
  };
  return part(16) + ' ' + part(8) + ' ' + part(0) + ' ' + Fixed(alpha, 3);
}

std::string RepeatedText(float value, int decimals, int times) {
  const std::string once = Fixed(value, decimals);
  std::string text = once;
  for (int repeat = 1; repeat < times; ++repeat) text += ' ' + once;
  return text;
}

std::string MatrixText(const std::vector<float>& matrix) {
  std::string text;
  for (const int index : kMatrixOrder) {
    if (!text.empty()) text += ' ';
    text += Fixed(matrix[index], 6);
  }
  return text;
}

// The local time as asctime gives it, day and month names in English whatever the locale,
// ending in a line break.
std::string CreatedText() {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::tm local = platform::LocalTime(std::time(nullptr)).value_or(std::tm{});
  char text[64];
  const int length = std::snprintf(text, sizeof(text), "%.3s %.3s%3d %.2d:%.2d:%.2d %d\n",
                                   kDays[local.tm_wday], kMonths[local.tm_mon], local.tm_mday,
                                   local.tm_hour, local.tm_min, local.tm_sec,
                                   1900 + local.tm_year);
  return std::string(text, length);
}

// "<folder>/<base>_Textures" for "<folder>/<base>.<extension>", with the platform's separators.
// A bare file name counts as its own folder.
std::u16string TexturesFolderFor(std::u16string_view path) {
  const std::u16string nativePath = platform::WithNativeSeparators(path);
  const std::u16string_view stem = platform::WithoutExtension(nativePath);
  return platform::JoinPath(platform::FolderOf(stem),
                            std::u16string(platform::FileNameOf(stem)) + u"_Textures");
}

// Only a regular file: the path may name a device or a pipe that was written to.
void DeleteIfRegularFile(std::u16string_view path) {
  const auto attributes = platform::QueryFileAttributes(path);
  if (attributes && attributes->isRegularFile) platform::RemoveFile(path);
}

void WriteAccessor(TextModeFile& file, const std::string& id, std::string_view source,
                   const std::string& count) {
  file.Write({"<technique_common>\n<accessor source=\"#", id, "-", source, "-array\" count=\"",
              count,
              "\" stride=\"3\">\n"
              "<param name=\"X\" type=\"float\"/>\n"
              "<param name=\"Y\" type=\"float\"/>\n"
              "<param name=\"Z\" type=\"float\"/>\n"
              "</accessor>\n</technique_common>\n</source>\n"});
}

void WriteTextureParameters(TextModeFile& file, const std::string& id) {
  file.Write({" <newparam sid=\"surface-", id, "\">\n  <surface type=\"UNTYPED\">\n   <init_from>image-",
              id, "</init_from>\n  </surface>\n </newparam>\n <newparam sid=\"sampler2d-", id,
              "\">\n  <sampler2D>\n   <source>surface-", id,
              "</source>\n  </sampler2D>\n </newparam>\n"});
}

void WriteEffectExtra(TextModeFile& file, const ExportNode& node) {
  if (node.surfaceType.empty() && node.libraryId.empty()) return;
  file.Write("<extra>\n<technique profile=\"OMBREL\">\n");
  if (!node.surfaceType.empty()) {
    file.Write({"<surface_type>", node.surfaceType, "</surface_type>\n"});
  }
  if (!node.libraryId.empty()) file.Write({"<library_id>", node.libraryId, "</library_id>\n"});
  file.Write("</technique>\n</extra>\n");
}

void WriteMaterial(TextModeFile& file, const ExportNode& node) {
  file.Write({"<material id=\"material-", node.id, "\" name=\"", node.name,
              "\">\n<instance_effect url=\"#effect-", node.id, "\" />\n</material>\n"});
}

void WriteEffect(TextModeFile& file, const ExportNode& node) {
  file.Write({"<effect id=\"effect-", node.id, "\" name=\"", node.name, "\">\n<profile_COMMON>\n"});
  if (node.texture) WriteTextureParameters(file, node.id);
  file.Write(
      "<technique sid=\"common\">\n<phong>\n<ambient>\n<color>0.1 0.1 0.1 1.0</color>\n"
      "</ambient>\n<diffuse>\n");
  if (node.texture) {
    file.Write({"<texture texture=\"sampler2d-", node.id, "\" texcoord=\"CHANNEL0\"/>\n"});
  } else {
    file.Write({"<color>", ColorText(node.diffuseColor, node.opacity), "</color>\n"});
  }
  file.Write({"</diffuse>\n<specular>\n<color>", ColorText(node.specularColor, 1.0f),
              "</color>\n</specular>\n<shininess>\n<float>", Fixed(node.shininess, 3),
              "</float>\n</shininess>\n"
              "<reflective>\n<color>0 0 0 1.0</color>\n</reflective>\n"
              "<reflectivity>\n<float>1.0</float>\n</reflectivity>\n"
              "<transparent opaque=\"RGB_ZERO\">\n<color>",
              RepeatedText(node.opacity, 3, 4),
              "</color>\n</transparent>\n"
              "<transparency>\n<float>1</float>\n</transparency>\n"
              "</phong>\n</technique>\n</profile_COMMON>\n"});
  WriteEffectExtra(file, node);
  file.Write("</effect>\n");
}

void WriteGeometry(TextModeFile& file, const ExportNode& node) {
  const std::string& id = node.id;
  const std::string vertexCount = Count(node.vertexCount);
  const std::string vectorFloatCount = Count(3 * uint64_t{node.vertexCount});
  file.Write({"<geometry id=\"", id, "\" name=\"", node.name, "\">\n<mesh>\n"});
  file.Write({"<source id=\"", id, "-positions\">\n<float_array id=\"", id,
              "-positions-array\" count=\"", vectorFloatCount, "\">", node.positionsText,
              "</float_array>\n"});
  WriteAccessor(file, id, "positions", vertexCount);
  file.Write({"<source id=\"", id, "-normals\">\n<float_array id=\"", id,
              "-normals-array\" count=\"", vectorFloatCount, "\">", node.normalsText,
              "\n</float_array>\n"});
  WriteAccessor(file, id, "normals", vertexCount);
  file.Write({"<source id=\"", id, "-uv\">\n<float_array id=\"", id, "-uv-array\" count=\"",
              Count(2 * uint64_t{node.vertexCount}), "\">", node.uvText,
              "</float_array>\n<technique_common>\n<accessor source=\"#", id,
              "-uv-array\" count=\"", vertexCount,
              "\" stride=\"2\">\n"
              "<param name=\"S\" type=\"float\"/>\n"
              "<param name=\"T\" type=\"float\"/>\n"
              "</accessor>\n</technique_common>\n</source>\n"});
  file.Write({"<vertices id=\"", id, "-vertices\">\n<input semantic=\"POSITION\" source=\"#", id,
              "-positions\"/>\n</vertices>\n"});
  file.Write({"<triangles count=\"", Count(node.indexCount / 3), "\" material=\"material-", id,
              "\">\n<input offset=\"0\" semantic=\"VERTEX\" source=\"#", id,
              "-vertices\"/>\n<input offset=\"0\" semantic=\"NORMAL\" source=\"#", id,
              "-normals\"/>\n<input offset=\"0\" semantic=\"TEXCOORD\" source=\"#", id,
              "-uv\" set=\"0\"/>\n"});
  file.Write({"<p>", node.indexText, "</p>\n</triangles>\n</mesh>\n</geometry>\n"});
}

}  // namespace

ColladaWriter::ColladaWriter(ColladaExportOptions options) : options_(std::move(options)) {}

const ColladaExportOptions& ColladaWriter::options() const { return options_; }

void ColladaWriter::AddNode(std::unique_ptr<ExportNode> node) {
  if (!node) return;
  std::lock_guard lock(nodesMutex_);
  nodes_.push_back(std::move(node));
}

bool ColladaWriter::Write() {
  failureReason_.clear();
  texturesWritten_.clear();
  texturesFolderCreated_.clear();
  if (options_.path.empty()) {
    failureReason_ = std::generic_category().message(EINVAL);
    return false;
  }
  ReportProgress(0);
  const Outcome outcome = WriteFile();
  if (outcome == Outcome::kFailed) {
    DeleteIfRegularFile(options_.path);
    RemoveWrittenTextures();
  }
  nodes_.clear();
  return outcome == Outcome::kWritten;
}

ColladaWriter::Outcome ColladaWriter::WriteFile() {
  TextModeFile file;
  try {
    if (!file.Open(options_.path)) {
      failureReason_ = std::generic_category().message(file.error());
      return Outcome::kNotOpened;
    }
    WriteDocument(file);
    if (file.Close()) return Outcome::kWritten;
    // A failed write with no code of its own is still a failed write.
    failureReason_ = std::generic_category().message(file.error() ? file.error() : EIO);
  } catch (const std::bad_alloc&) {
    failureReason_ = std::generic_category().message(ENOMEM);
  } catch (...) {
    failureReason_ = std::generic_category().message(EIO);
  }
  // Closed before the caller removes what was written.
  file.Close();
  return Outcome::kFailed;
}

void ColladaWriter::RemoveWrittenTextures() {
  for (const std::u16string& texture : texturesWritten_) DeleteIfRegularFile(texture);
  // Only when empty: whatever else is in it is not ours.
  if (!texturesFolderCreated_.empty()) platform::RemoveEmptyDirectory(texturesFolderCreated_);
}

void ColladaWriter::ReportProgress(int step) const {
  if (options_.progress) {
    options_.progress(static_cast<float>(step) / kStepCount, kProgressMessages[step]);
  }
}

void ColladaWriter::WriteDocument(TextModeFile& file) {
  file.Write(
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.1\">\n");
  ReportProgress(1);
  WriteAsset(file);
  ReportProgress(2);
  WriteImages(file);
  ReportProgress(3);
  WriteLibrary(file, "library_effects", WriteEffect, kMarkerEffect);
  ReportProgress(4);
  WriteLibrary(file, "library_materials", WriteMaterial, kMarkerMaterial);
  ReportProgress(5);
  WriteLibrary(file, "library_geometries", WriteGeometry, kMarkerGeometry);
  ReportProgress(6);
  WriteScene(file);
  ReportProgress(7);
  file.Write({"\t<extra>\n\t\t<technique profile=\"OMBREL\">\n\t\t\t<optimize_surfaces>",
              options_.optimizeSurfaces ? "1" : "0", "</optimize_surfaces>\n\t\t\t<export_nodes>",
              options_.exportNodes ? "1" : "0",
              "</export_nodes>\n\t\t</technique>\n\t</extra>\n</COLLADA>\n"});
}

void ColladaWriter::WriteAsset(TextModeFile& file) const {
  file.Write({"<asset>\n<contributor>\n<authoring_tool>", kAuthoringTool});
  if (!options_.generatorName.empty()) {
    file.Write({" (", UriEscapeForXml(options_.generatorName), ")."});
  }
  file.Write({"</authoring_tool>\n"
              "<comments>This file was exported by Ombrel TideLink Collada exporter.</comments>"
              "</contributor>\n<created>",
              CreatedText(),
              "</created>\n"
              "<unit name=\"meter\" meter=\"1.00\"/>\n<up_axis>Z_UP</up_axis>\n</asset>\n"});
}

void ColladaWriter::WriteImages(TextModeFile& file) {
  file.Write("<library_images>\n");
  const std::u16string texturesFolder = TexturesFolderFor(options_.path);
  bool folderCreated = false;
  for (const auto& node : nodes_) {
    if (!node->texture) continue;
    // Only when there is a texture to put into it; once per export.
    if (!folderCreated) {
      const bool existed = platform::QueryFileAttributes(texturesFolder).has_value();
      folderCreated = platform::MakeDirectory(texturesFolder);
      if (folderCreated && !existed) texturesFolderCreated_ = texturesFolder;
    }
    // Copied or encoded into the folder: a write that fails later takes it away again.
    if (options_.copyTextures || node->texture->state() != TextureSlot::kFile) {
      texturesWritten_.push_back(platform::JoinPath(texturesFolder, node->texture->ExportFileName()));
    }
    std::optional<std::string> imagePath =
        node->texture->ExportTexture(options_.copyTextures, texturesFolder);
    if (!imagePath) {
      // The file itself is still written; the log says which images it will miss.
      DebugLog("COLLADA export: texture %s not written into %s",
               platform::Utf8FromUtf16(node->texture->ExportFileName()).c_str(),
               platform::Utf8FromUtf16(texturesFolder).c_str());
      continue;
    }
    node->imagePath = std::move(*imagePath);
    file.Write({"<image id=\"image-", node->id, "\" name=\"image-", node->id, "\">\n<init_from>",
                node->imagePath, "</init_from>\n</image>\n"});
  }
  file.Write("</library_images>\n");
}

void ColladaWriter::WriteLibrary(TextModeFile& file, std::string_view element, NodeWriter writeNode,
                                 std::string_view marker) const {
  file.Write({"<", element, ">\n"});
  for (const auto& node : nodes_) writeNode(file, *node);
  if (options_.exportNodes) file.Write(marker);
  file.Write({"</", element, ">\n"});
}

void ColladaWriter::WriteScene(TextModeFile& file) const {
  file.Write(
      "<library_visual_scenes>\n<visual_scene id=\"Ombrel_Model\">\n"
      "<node id=\"node-ombrelModel\" name=\"geometry-ombrelModel\">\n");
  for (const auto& node : nodes_) {
    file.Write({"<instance_geometry url=\"#", node->id,
                "\">\n<bind_material>\n<technique_common>\n<instance_material target=\"#material-",
                node->id, "\" symbol=\"material-", node->id,
                "\" >\n</instance_material>\n</technique_common>\n</bind_material>\n"
                "</instance_geometry>\n"});
  }
  file.Write(
      "<extra>\n<technique profile=\"OMBREL\">\n<flatten_hierarchy>true</flatten_hierarchy>\n"
      "</technique>\n</extra>\n</node>\n");
  if (options_.exportNodes) WriteMarkerNodes(file);
  file.Write(
      "</visual_scene>\n</library_visual_scenes>\n"
      "<scene>\n<instance_visual_scene url=\"#Ombrel_Model\"/>\n</scene>\n");
}

void ColladaWriter::WriteMarkerNodes(TextModeFile& file) const {
  for (size_t index = 0; index < options_.nodeTransforms.size(); ++index) {
    const std::vector<float>& matrix = options_.nodeTransforms[index];
    if (matrix.size() != kMatrixValueCount) continue;
    char label[32];
    std::snprintf(label, sizeof(label), "ln-%04llu", static_cast<unsigned long long>(index));
    file.Write({"<node id=\"node-", label, "\" name=\"geometry-", label, "\">\n<matrix>",
                MatrixText(matrix), "</matrix>\n", kMarkerInstance, "</node>\n"});
  }
}

#include "export/ColladaWriter.h"

#include <cerrno>
#include <cmath>
#include <fstream>
#include <limits>
#include <regex>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/Path.h"
#include "platform/TextConversion.h"
#include "tests/export/ExportTestSupport.h"
#include "transport/TextureSlot.h"

namespace {

// The fixed parts of every document, as the file format gives them ("\n" stands for CR LF).
constexpr std::string_view kHead =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.1\">\n"
    "<asset>\n<contributor>\n"
    "<authoring_tool>Ombrel TideLink COLLADA exporter ver 3.50.62</authoring_tool>\n"
    "<comments>This file was exported by Ombrel TideLink Collada exporter.</comments>"
    "</contributor>\n<created>*</created>\n"
    "<unit name=\"meter\" meter=\"1.00\"/>\n<up_axis>Z_UP</up_axis>\n</asset>\n";

constexpr std::string_view kModelNodeStart =
    "<library_visual_scenes>\n<visual_scene id=\"Ombrel_Model\">\n"
    "<node id=\"node-ombrelModel\" name=\"geometry-ombrelModel\">\n";
constexpr std::string_view kModelNodeEnd =
    "<extra>\n<technique profile=\"OMBREL\">\n<flatten_hierarchy>true</flatten_hierarchy>\n"
    "</technique>\n</extra>\n</node>\n";
constexpr std::string_view kSceneEnd =
    "</visual_scene>\n</library_visual_scenes>\n"
    "<scene>\n<instance_visual_scene url=\"#Ombrel_Model\"/>\n</scene>\n";

std::string Tail(bool optimizeSurfaces, bool exportNodes) {
  return std::string("\t<extra>\n\t\t<technique profile=\"OMBREL\">\n\t\t\t<optimize_surfaces>") +
         (optimizeSurfaces ? "1" : "0") + "</optimize_surfaces>\n\t\t\t<export_nodes>" +
         (exportNodes ? "1" : "0") + "</export_nodes>\n\t\t</technique>\n\t</extra>\n</COLLADA>\n";
}

// One triangle: positions and normals with y and z exchanged, v flipped.
std::unique_ptr<ExportNode> TriangleNode(std::string id, std::string name) {
  auto node = std::make_unique<ExportNode>();
  node->id = std::move(id);
  node->name = std::move(name);
  node->vertexCount = 3;
  node->indexCount = 3;
  node->positionsText = "0.000 0.000 0.000 1.000 0.000 0.000 0.000 0.000 1.000 ";
  node->normalsText = "0.000 1.000 0.000 0.000 1.000 0.000 0.000 1.000 0.000 ";
  node->uvText = "0.000 1.000 1.000 1.000 0.000 0.750 ";
  node->indexText = "0 1 2 ";
  return node;
}

std::string TriangleGeometry(const std::string& id, const std::string& name) {
  const auto accessor = [&](const std::string& source) {
    return "<technique_common>\n<accessor source=\"#" + id + "-" + source +
           "-array\" count=\"3\" stride=\"3\">\n<param name=\"X\" type=\"float\"/>\n"
           "<param name=\"Y\" type=\"float\"/>\n<param name=\"Z\" type=\"float\"/>\n"
           "</accessor>\n</technique_common>\n</source>\n";
  };
  return "<geometry id=\"" + id + "\" name=\"" + name + "\">\n<mesh>\n<source id=\"" + id +
         "-positions\">\n<float_array id=\"" + id +
         "-positions-array\" count=\"9\">0.000 0.000 0.000 1.000 0.000 0.000 0.000 0.000 1.000 "
         "</float_array>\n" + accessor("positions") + "<source id=\"" + id +
         "-normals\">\n<float_array id=\"" + id +
         "-normals-array\" count=\"9\">0.000 1.000 0.000 0.000 1.000 0.000 0.000 1.000 0.000 "
         "\n</float_array>\n" + accessor("normals") + "<source id=\"" + id +
         "-uv\">\n<float_array id=\"" + id +
         "-uv-array\" count=\"6\">0.000 1.000 1.000 1.000 0.000 0.750 </float_array>\n"
         "<technique_common>\n<accessor source=\"#" + id +
         "-uv-array\" count=\"3\" stride=\"2\">\n<param name=\"S\" type=\"float\"/>\n"
         "<param name=\"T\" type=\"float\"/>\n</accessor>\n</technique_common>\n</source>\n"
         "<vertices id=\"" + id + "-vertices\">\n<input semantic=\"POSITION\" source=\"#" + id +
         "-positions\"/>\n</vertices>\n<triangles count=\"1\" material=\"material-" + id +
         "\">\n<input offset=\"0\" semantic=\"VERTEX\" source=\"#" + id +
         "-vertices\"/>\n<input offset=\"0\" semantic=\"NORMAL\" source=\"#" + id +
         "-normals\"/>\n<input offset=\"0\" semantic=\"TEXCOORD\" source=\"#" + id +
         "-uv\" set=\"0\"/>\n<p>0 1 2 </p>\n</triangles>\n</mesh>\n</geometry>\n";
}

std::string Material(const std::string& id, const std::string& name) {
  return "<material id=\"material-" + id + "\" name=\"" + name +
         "\">\n<instance_effect url=\"#effect-" + id + "\" />\n</material>\n";
}

std::string Instance(const std::string& id) {
  return "<instance_geometry url=\"#" + id +
         "\">\n<bind_material>\n<technique_common>\n<instance_material target=\"#material-" + id +
         "\" symbol=\"material-" + id +
         "\" >\n</instance_material>\n</technique_common>\n</bind_material>\n"
         "</instance_geometry>\n";
}

// The phong block from the specular colour on, for the default specular grey.
std::string PhongRest(const std::string& shininess, const std::string& opacity) {
  return "</diffuse>\n<specular>\n<color>0.664 0.664 0.664 1.000</color>\n</specular>\n"
         "<shininess>\n<float>" + shininess + "</float>\n</shininess>\n"
         "<reflective>\n<color>0 0 0 1.0</color>\n</reflective>\n"
         "<reflectivity>\n<float>1.0</float>\n</reflectivity>\n"
         "<transparent opaque=\"RGB_ZERO\">\n<color>" + opacity + " " + opacity + " " + opacity +
         " " + opacity + "</color>\n</transparent>\n"
         "<transparency>\n<float>1</float>\n</transparency>\n"
         "</phong>\n</technique>\n</profile_COMMON>\n";
}

class ColladaWriterTest : public TestEnvironment {
protected:
  std::filesystem::path target() const { return scratch() / "house.dae"; }
  ColladaExportOptions Options() const {
    ColladaExportOptions options;
    options.path = platform::Utf16FromUtf8(target().string());
    return options;
  }
  std::string Written() const { return MaskCreated(ReadFile(target())); }
};

TEST_F(ColladaWriterTest, EmptyDocumentHoldsOnlyTheFixedFrame) {
  ColladaExportOptions options = Options();
  options.optimizeSurfaces = true;
  std::vector<std::pair<float, std::u16string>> progress;
  options.progress = [&](float fraction, std::u16string message) {
    progress.emplace_back(fraction, std::move(message));
  };
  ColladaWriter writer(options);
  ASSERT_TRUE(writer.Write());

  const std::string expected =
      std::string(kHead) +
      "<library_images>\n</library_images>\n<library_effects>\n</library_effects>\n"
      "<library_materials>\n</library_materials>\n<library_geometries>\n</library_geometries>\n" +
      std::string(kModelNodeStart) + std::string(kModelNodeEnd) + std::string(kSceneEnd) +
      Tail(true, false);
  EXPECT_EQ(Written(), WithCrLf(expected));
  EXPECT_FALSE(std::filesystem::exists(scratch() / "house_Textures"));

  ASSERT_EQ(progress.size(), 8u);
  for (size_t step = 0; step < progress.size(); ++step) {
    EXPECT_FLOAT_EQ(progress[step].first, step / 7.0f);
  }
  EXPECT_EQ(progress[0].second, u"Ombrel Collada exporter: initializing\u2026");
  EXPECT_EQ(progress[5].second, u"Ombrel Collada exporter: processing geometries\u2026");
  EXPECT_EQ(progress[7].second, u"Ombrel Collada exporter: export complete.");

  // Asctime form, ending in a line break inside the element; the file starts without a BOM.
  const std::string file = ReadFile(target());
  const size_t created = file.find("<created>") + 9;
  const std::string time = file.substr(created, file.find("</created>") - created);
  EXPECT_TRUE(std::regex_match(
      time, std::regex("[A-Z][a-z][a-z] [A-Z][a-z][a-z] [ 1-3][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9] "
                       "[0-9][0-9][0-9][0-9]\r\n")))
      << time;
  ExpectReadersAccept(target(), 0, 0, 0, 1);
}

TEST_F(ColladaWriterTest, PlainSurfaceIsWrittenAsTheFileFormatGivesIt) {
  ColladaExportOptions options = Options();
  options.generatorName = u"OmbrelTideLinkForVectorworks v3.60.92";
  ColladaWriter writer(options);
  auto node = TriangleNode("1F", "Wall &amp; &quot;A&quot;");
  node->libraryId = "LIB-7";
  node->diffuseColor = 0xFF8000;
  node->opacity = 0.5f;
  writer.AddNode(std::move(node));
  writer.AddNode(nullptr);
  ASSERT_TRUE(writer.Write());

  std::string head(kHead);
  head.replace(head.find("</authoring_tool>"), 0,
               " (OmbrelTideLinkForVectorworks%20v3.60.92).");
  const std::string name = "Wall &amp; &quot;A&quot;";
  const std::string expected =
      head + "<library_images>\n</library_images>\n<library_effects>\n"
      "<effect id=\"effect-1F\" name=\"" + name + "\">\n<profile_COMMON>\n"
      "<technique sid=\"common\">\n<phong>\n<ambient>\n<color>0.1 0.1 0.1 1.0</color>\n"
      "</ambient>\n<diffuse>\n<color>0.996 0.500 0.000 0.500</color>\n" +
      PhongRest("1.000", "0.500") +
      "<extra>\n<technique profile=\"OMBREL\">\n<library_id>LIB-7</library_id>\n"
      "</technique>\n</extra>\n</effect>\n</library_effects>\n<library_materials>\n" +
      Material("1F", name) + "</library_materials>\n<library_geometries>\n" +
      TriangleGeometry("1F", name) + "</library_geometries>\n" + std::string(kModelNodeStart) +
      Instance("1F") + std::string(kModelNodeEnd) + std::string(kSceneEnd) + Tail(false, false);
  EXPECT_EQ(Written(), WithCrLf(expected));
  ExpectReadersAccept(target(), 1, 1, 0, 1);
}

TEST_F(ColladaWriterTest, TexturedSurfaceGetsItsImageAndSamplerParameters) {
  TextureSlot texture;
  const uint8_t pixels[2 * 2 * 4] = {0, 0, 255, 255, 0, 255, 0, 128, 255, 0, 0, 255, 9, 9, 9, 0};
  ASSERT_TRUE(texture.SetImage(2, 2, pixels, true));
  const std::string fileName = platform::Utf8FromUtf16(texture.ExportFileName());

  ColladaWriter writer(Options());
  auto node = TriangleNode("A0", "Brick");
  node->surfaceType = "standard";
  node->libraryId = "B&amp;1";
  node->shininess = 12.25f;
  node->texture = &texture;
  writer.AddNode(std::move(node));
  ASSERT_TRUE(writer.Write());

  const std::string expected =
      std::string(kHead) + "<library_images>\n"
      "<image id=\"image-A0\" name=\"image-A0\">\n<init_from>house_Textures/" + fileName +
      "</init_from>\n</image>\n</library_images>\n<library_effects>\n"
      "<effect id=\"effect-A0\" name=\"Brick\">\n<profile_COMMON>\n"
      " <newparam sid=\"surface-A0\">\n  <surface type=\"UNTYPED\">\n"
      "   <init_from>image-A0</init_from>\n  </surface>\n </newparam>\n"
      " <newparam sid=\"sampler2d-A0\">\n  <sampler2D>\n   <source>surface-A0</source>\n"
      "  </sampler2D>\n </newparam>\n"
      "<technique sid=\"common\">\n<phong>\n<ambient>\n<color>0.1 0.1 0.1 1.0</color>\n"
      "</ambient>\n<diffuse>\n<texture texture=\"sampler2d-A0\" texcoord=\"CHANNEL0\"/>\n" +
      PhongRest("12.250", "0.000") +
      "<extra>\n<technique profile=\"OMBREL\">\n<surface_type>standard</surface_type>\n"
      "<library_id>B&amp;1</library_id>\n</technique>\n</extra>\n</effect>\n"
      "</library_effects>\n<library_materials>\n" + Material("A0", "Brick") +
      "</library_materials>\n<library_geometries>\n" + TriangleGeometry("A0", "Brick") +
      "</library_geometries>\n" + std::string(kModelNodeStart) + Instance("A0") +
      std::string(kModelNodeEnd) + std::string(kSceneEnd) + Tail(false, false);
  EXPECT_EQ(Written(), WithCrLf(expected));
  EXPECT_TRUE(std::filesystem::is_regular_file(scratch() / "house_Textures" / fileName));
  ExpectReadersAccept(target(), 1, 1, 1, 1);
}

// The textures folder is named after the file without its extension; a dot in a folder is not
// one, even when the file name has none.
TEST_F(ColladaWriterTest, TexturesFolderIsNamedAfterTheFileNotADottedFolder) {
  TextureSlot texture;
  const uint8_t pixels[3] = {1, 2, 3};
  ASSERT_TRUE(texture.SetImage(1, 1, pixels, false));
  const std::string fileName = platform::Utf8FromUtf16(texture.ExportFileName());
  std::filesystem::create_directory(scratch() / "plans.v2");
  ColladaExportOptions options;
  options.path = platform::Utf16FromUtf8((scratch() / "plans.v2" / "house").string());
  ColladaWriter writer(options);
  auto node = TriangleNode("5", "E");
  node->texture = &texture;
  writer.AddNode(std::move(node));
  ASSERT_TRUE(writer.Write());
  EXPECT_NE(ReadFile(scratch() / "plans.v2" / "house").find("<init_from>house_Textures/" + fileName + "</init_from>"),
            std::string::npos);
  EXPECT_TRUE(std::filesystem::is_regular_file(scratch() / "plans.v2" / "house_Textures" / fileName));
}

TEST_F(ColladaWriterTest, MarkersAreWrittenForEachFullTransform) {
  ColladaExportOptions options = Options();
  options.exportNodes = true;
  std::vector<float> first(16), second(16);
  for (int index = 0; index < 16; ++index) {
    first[index] = static_cast<float>(index);
    second[index] = index % 5 == 0 ? 1.0f : 0.0f;
  }
  second[12] = -2.5f;
  options.nodeTransforms = {first, {}, second, std::vector<float>(15, 1.0f)};
  ColladaWriter writer(options);
  ASSERT_TRUE(writer.Write());

  const std::string markerEffect =
      "\t<effect id=\"effect-ombrelNode\" name=\"Ombrel Node Material\">\n"
      "\t\t<profile_COMMON>\n\t\t\t<technique sid=\"common\">\n\t\t\t\t<phong>\n"
      "\t\t\t\t\t<ambient>\n\t\t\t\t\t\t<color>0.1 0.1 0.1 1.0</color>\n\t\t\t\t\t</ambient>\n"
      "\t\t\t\t\t<diffuse>\n\t\t\t\t\t\t<color>1.0 1.0 1.0 1.0</color>\n\t\t\t\t\t</diffuse>\n"
      "\t\t\t\t\t<transparent opaque=\"RGB_ZERO\">\n"
      "\t\t\t\t\t\t<color>0.01 0.01 0.01 0.01</color>\n\t\t\t\t\t</transparent>\n"
      "\t\t\t\t\t<transparency>\n\t\t\t\t\t\t<float>1</float>\n\t\t\t\t\t</transparency>\n"
      "\t\t\t\t</phong>\n\t\t\t</technique>\n\t\t</profile_COMMON>\n\t\t<extra>\n"
      "\t\t\t<technique profile=\"OMBREL\">\n\t\t\t\t<surface_type>invisible</surface_type>\n"
      "\t\t\t</technique>\n\t\t</extra>\n\t</effect>\n";
  const std::string markerMaterial =
      "\t<material id=\"material-ombrelNode\" name=\"Ombrel Node Material\">\n"
      "\t\t<instance_effect url=\"#effect-ombrelNode\" />\n\t</material>\n";
  const auto markerSource = [](const std::string& name, const std::string& values, int count,
                               bool uv) {
    std::string text = "\t\t\t<source id=\"ombrelNode-" + name +
                       "\">\n\t\t\t\t<float_array id=\"ombrelNode-" + name + "-array\" count=\"" +
                       std::to_string(count) + "\">" + values +
                       "</float_array>\n\t\t\t\t<technique_common>\n"
                       "\t\t\t\t\t<accessor source=\"#ombrelNode-" + name +
                       "-array\" count=\"3\" stride=\"" + (uv ? "2" : "3") + "\">\n";
    for (const char* param : uv ? std::vector<const char*>{"S", "T"}
                                : std::vector<const char*>{"X", "Y", "Z"}) {
      text += std::string("\t\t\t\t\t\t<param name=\"") + param + "\" type=\"float\"/>\n";
    }
    return text + "\t\t\t\t\t</accessor>\n\t\t\t\t</technique_common>\n\t\t\t</source>\n";
  };
  const std::string markerGeometry =
      "\t<geometry id=\"ombrelNode\" name=\"Ombrel Node Geometry\">\n\t\t<mesh>\n" +
      markerSource("positions", "0 0 -0.000001 0.000001 0 0.000001 -0.000001 0 0.01", 9, false) +
      markerSource("normals", "0 1 0 0 1 0 0 1 0", 9, false) +
      markerSource("uv", "0 0 1 0 0 0", 6, true) +
      "\t\t\t<vertices id=\"ombrelNode-vertices\">\n"
      "\t\t\t\t<input semantic=\"POSITION\" source=\"#ombrelNode-positions\"/>\n"
      "\t\t\t</vertices>\n\t\t\t<triangles count=\"1\" material=\"material-ombrelNode\">\n"
      "\t\t\t\t<input offset=\"0\" semantic=\"VERTEX\" source=\"#ombrelNode-vertices\"/>\n"
      "\t\t\t\t<input offset=\"0\" semantic=\"NORMAL\" source=\"#ombrelNode-normals\"/>\n"
      "\t\t\t\t<input offset=\"0\" semantic=\"TEXCOORD\" source=\"#ombrelNode-uv\" set=\"0\"/>\n"
      "\t\t\t\t<p>0 1 2</p>\n\t\t\t</triangles>\n\t\t</mesh>\n\t</geometry>\n";
  const std::string markerInstance =
      "\t<instance_geometry url=\"#ombrelNode\">\n\t\t<bind_material>\n"
      "\t\t\t<technique_common>\n"
      "\t\t\t\t<instance_material target=\"#material-ombrelNode\" "
      "symbol=\"material-ombrelNode\" />\n"
      "\t\t\t</technique_common>\n\t\t</bind_material>\n\t</instance_geometry>\n";
  const std::string expected =
      std::string(kHead) + "<library_images>\n</library_images>\n<library_effects>\n" +
      markerEffect + "</library_effects>\n<library_materials>\n" + markerMaterial +
      "</library_materials>\n<library_geometries>\n" + markerGeometry +
      "</library_geometries>\n" + std::string(kModelNodeStart) + std::string(kModelNodeEnd) +
      "<node id=\"node-ln-0000\" name=\"geometry-ln-0000\">\n<matrix>0.000000 4.000000 8.000000 "
      "12.000000 2.000000 6.000000 10.000000 14.000000 1.000000 5.000000 9.000000 13.000000 "
      "3.000000 7.000000 11.000000 15.000000</matrix>\n" + markerInstance + "</node>\n" +
      "<node id=\"node-ln-0002\" name=\"geometry-ln-0002\">\n<matrix>1.000000 0.000000 0.000000 "
      "-2.500000 0.000000 0.000000 1.000000 0.000000 0.000000 1.000000 0.000000 0.000000 "
      "0.000000 0.000000 0.000000 1.000000</matrix>\n" + markerInstance + "</node>\n" +
      std::string(kSceneEnd) + Tail(false, true);
  EXPECT_EQ(Written(), WithCrLf(expected));
  ExpectReadersAccept(target(), 1, 1, 0, 3);
}

TEST_F(ColladaWriterTest, TextThatXmlCannotHoldStaysOutOfTheFile) {
  ColladaExportOptions options = Options();
  // The URI escape keeps '&'; the file must still be well-formed.
  options.generatorName = u"R&D <Tool>";
  ColladaWriter writer(options);
  writer.AddNode(TriangleNode("3", "Glass"));
  ASSERT_TRUE(writer.Write());
  const std::string file = ReadFile(target());
  EXPECT_NE(file.find("ver 3.50.62 (R&amp;D%20%3cTool%3e).</authoring_tool>"), std::string::npos);
  ExpectReadersAccept(target(), 1, 1, 0, 1);
}

TEST_F(ColladaWriterTest, ValuesFarOutsideDrawingScaleStayWellFormedAndValid) {
  constexpr float kHuge = std::numeric_limits<float>::max();
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  constexpr float kInfinity = std::numeric_limits<float>::infinity();
  ColladaExportOptions options = Options();
  options.exportNodes = true;
  std::vector<float> matrix(16, -kHuge);
  matrix[1] = kNaN;
  matrix[2] = kInfinity;
  matrix[3] = -kInfinity;
  options.nodeTransforms = {matrix};
  ColladaWriter writer(options);
  auto node = TriangleNode("7", "Far");
  node->opacity = -kHuge;
  node->shininess = kNaN;
  node->specularColor = 0xFFFFFFFF;
  writer.AddNode(std::move(node));
  ASSERT_TRUE(writer.Write());

  const std::string file = ReadFile(target());
  const std::string huge = "340282346638528859811704183484516925440";
  EXPECT_NE(file.find("<color>0.996 0.996 0.996 1.000</color>"), std::string::npos);
  EXPECT_NE(file.find("<float>NaN</float>"), std::string::npos);
  EXPECT_NE(file.find("<color>0.664 0.664 0.664 -" + huge + ".000</color>"), std::string::npos);
  EXPECT_NE(file.find("<matrix>-" + huge + ".000000 -" + huge + ".000000 -" + huge +
                      ".000000 -" + huge + ".000000 INF "),
            std::string::npos);
  EXPECT_NE(file.find(" NaN "), std::string::npos);
  EXPECT_NE(file.find(" -INF "), std::string::npos);
  ExpectReadersAccept(target(), 2, 2, 0, 2);
}

TEST_F(ColladaWriterTest, EmptyPathWritesNothingAndReportsNoProgress) {
  ColladaExportOptions options;
  bool reported = false;
  options.progress = [&](float, std::u16string) { reported = true; };
  ColladaWriter writer(options);
  writer.AddNode(TriangleNode("1", "A"));
  EXPECT_FALSE(writer.Write());
  EXPECT_FALSE(reported);
}

TEST_F(ColladaWriterTest, FileThatCannotBeOpenedIsAFailureThatTouchesNothing) {
  TextureSlot texture;
  const uint8_t pixel[3] = {1, 2, 3};
  texture.SetImage(1, 1, pixel, false);
  ColladaExportOptions options = Options();
  options.path = platform::Utf16FromUtf8((scratch() / "missing" / "house.dae").string());
  ColladaWriter writer(options);
  auto node = TriangleNode("1", "A");
  node->texture = &texture;
  writer.AddNode(std::move(node));
  EXPECT_FALSE(writer.Write());
  EXPECT_FALSE(std::filesystem::exists(scratch() / "missing"));
  EXPECT_EQ(writer.failureReason(), std::generic_category().message(ENOENT));

  // A directory in the way is not deleted either.
  std::filesystem::create_directory(target());
  ColladaWriter second(Options());
  EXPECT_FALSE(second.Write());
  EXPECT_TRUE(std::filesystem::is_directory(target()));
  EXPECT_EQ(second.failureReason(), std::generic_category().message(kErrorOpeningADirectory));

  // A folder the user may not write to, in a way that binds the superuser too: its "parent" is a
  // regular file.
  std::ofstream(scratch() / "plain") << "a file, not a folder";
  ColladaExportOptions underFile = Options();
  underFile.path = platform::Utf16FromUtf8((scratch() / "plain" / "house.dae").string());
  ColladaWriter third(underFile);
  third.AddNode(TriangleNode("1", "A"));
  EXPECT_FALSE(third.Write());
  EXPECT_EQ(third.failureReason(), std::generic_category().message(kErrorPathThroughAFile));
}

// Nothing of a document that could not be written stays behind to pass for part of it: neither
// the file nor the images this write put beside it nor the folder it made for them.
TEST_F(ColladaWriterTest, FailureWhileWritingDeletesThePartialFileAndTheTexturesItWrote) {
  TextureSlot texture;
  const uint8_t pixel[3] = {1, 2, 3};
  texture.SetImage(1, 1, pixel, false);
  ColladaExportOptions options = Options();
  options.progress = [](float fraction, std::u16string) {
    if (fraction > 0.5f) throw std::bad_alloc();
  };
  ColladaWriter writer(options);
  auto node = TriangleNode("1", "A");
  node->texture = &texture;
  writer.AddNode(std::move(node));
  EXPECT_FALSE(writer.Write());
  EXPECT_FALSE(std::filesystem::exists(target()));
  EXPECT_FALSE(std::filesystem::exists(scratch() / "house_Textures"));
  EXPECT_EQ(writer.failureReason(), std::generic_category().message(ENOMEM));

  // A folder that was there before keeps what it held; only this write's image goes.
  std::filesystem::create_directory(scratch() / "house_Textures");
  std::ofstream(scratch() / "house_Textures" / "other.png") << "someone else's";
  ColladaWriter again(options);
  auto second = TriangleNode("2", "B");
  second->texture = &texture;
  again.AddNode(std::move(second));
  EXPECT_FALSE(again.Write());
  EXPECT_TRUE(std::filesystem::exists(scratch() / "house_Textures" / "other.png"));
  EXPECT_FALSE(std::filesystem::exists(scratch() / "house_Textures" / platform::Utf8FromUtf16(texture.ExportFileName())));
}

TEST_F(ColladaWriterTest, FullDiskIsAFailureAndLeavesNoPartialFile) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ColladaExportOptions options = Options();
  options.path = u"/dev/full";
  ColladaWriter writer(options);
  writer.AddNode(TriangleNode("1", "A"));
  EXPECT_FALSE(writer.Write());
  EXPECT_EQ(writer.failureReason(), std::generic_category().message(ENOSPC));
  // Only regular files are deleted.
  EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

TEST_F(ColladaWriterTest, TextureThatCannotBeExportedLosesOnlyItsImage) {
  const std::filesystem::path source = scratch() / "wood grain.png";
  std::ofstream(source) << "not really an image";
  TextureSlot gone;
  ASSERT_TRUE(gone.SetFile(platform::Utf16FromUtf8(source.string())));
  std::filesystem::remove(source);

  ColladaWriter copying(Options());
  auto node = TriangleNode("3", "C");
  node->texture = &gone;
  copying.AddNode(std::move(node));
  ASSERT_TRUE(copying.Write());
  std::string file = ReadFile(target());
  EXPECT_EQ(file.find("<image "), std::string::npos);
  EXPECT_NE(file.find("<init_from>image-3</init_from>"), std::string::npos);
  EXPECT_NE(file.find("<texture texture=\"sampler2d-3\" texcoord=\"CHANNEL0\"/>"),
            std::string::npos);
  ExpectReadersAccept(target(), 1, 1, 0, 1);

  // Referenced where it lies, nothing is copied and the image element names the source.
  ColladaExportOptions options = Options();
  options.copyTextures = false;
  ColladaWriter referencing(options);
  node = TriangleNode("4", "D");
  node->texture = &gone;
  referencing.AddNode(std::move(node));
  ASSERT_TRUE(referencing.Write());
  file = ReadFile(target());
  const std::string scratchUri = platform::Utf8FromUtf16(platform::WithUriSeparators(scratch().u16string()));
  EXPECT_NE(file.find("<image id=\"image-4\" name=\"image-4\">\r\n<init_from>" + scratchUri +
                      "/wood%20grain.png</init_from>"),
            std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(scratch() / "house_Textures"));
  ExpectReadersAccept(target(), 1, 1, 1, 1);
}

TEST_F(ColladaWriterTest, NodesAreGoneAfterWriting) {
  ColladaWriter writer(Options());
  writer.AddNode(TriangleNode("1", "A"));
  ASSERT_TRUE(writer.Write());
  ASSERT_NE(ReadFile(target()).find("<geometry id=\"1\""), std::string::npos);
  ASSERT_TRUE(writer.Write());
  EXPECT_EQ(ReadFile(target()).find("<geometry "), std::string::npos);
  ExpectReadersAccept(target(), 0, 0, 0, 1);
}

}  // namespace

// The stand-in renderer's command line, as a person and the plug-in's launch write it.

#include "tools/renderer/RendererOptions.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

std::optional<RendererOptions> Parse(std::initializer_list<const char*> arguments, std::string& error) {
  std::vector<char*> argv{const_cast<char*>("Ombrel.exe")};
  for (const char* argument : arguments) argv.push_back(const_cast<char*>(argument));
  return ParseRendererOptions(int(argv.size()), argv.data(), error);
}

TEST(RendererOptionsTest, ADocumentMayBeAnAbsolutePathBesideTheLaunchReference) {
  std::string error;
  const auto absolute = Parse({"/home/ann/house.dae"}, error);
  ASSERT_TRUE(absolute) << error;
  EXPECT_EQ(absolute->documentPath, "/home/ann/house.dae");
  const auto launched = Parse({"/ref:[TideLink]", "/ss:[0]"}, error);
  ASSERT_TRUE(launched) << error;
  EXPECT_TRUE(launched->linkReference);
  EXPECT_EQ(launched->ssNumber, 0u);
  EXPECT_TRUE(launched->documentPath.empty());
  EXPECT_FALSE(Parse({"/ss:[x]"}, error));
  EXPECT_FALSE(Parse({"/ref:TideLink"}, error)) << "a mistyped reference is not a document";
  EXPECT_FALSE(Parse({"a.dae", "b.dae"}, error)) << "one document at most";
}

TEST(RendererOptionsTest, AnInstalledVersionIsOneToFourNumbersAsTheHelpSays) {
  std::string error;
  for (const char* version : {"12.0.1.157", "12.0", "12"}) {
    const auto parsed = Parse({"--install", "/opt/ombrel", "--version", version}, error);
    ASSERT_TRUE(parsed) << version << ": " << error;
    EXPECT_EQ(parsed->installVersion, version);
  }
  for (const char* version : {"12.0.1.157.3", "12.a.1.1", "v12", "12.", ""}) {
    EXPECT_FALSE(Parse({"--install", "/opt/ombrel", "--version", version}, error)) << version;
  }
  EXPECT_NE(error.find("A.B.C.D"), std::string::npos) << error;
  EXPECT_NE(RendererUsage().find("12.0 is 12.0.0.0"), std::string::npos) << "--help says what fewer numbers mean";
}

TEST(RendererOptionsTest, QuietIsAnOptionOfItsOwn) {
  std::string error;
  const auto quiet = Parse({"--quiet", "--seconds", "1.5"}, error);
  ASSERT_TRUE(quiet) << error;
  EXPECT_TRUE(quiet->quiet);
  EXPECT_EQ(quiet->seconds, 1.5);
  EXPECT_FALSE(Parse({}, error)->quiet);
}

}  // namespace

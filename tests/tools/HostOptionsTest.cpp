// The stand-in host's command line: the options a person reaches for first.

#include "tools/host/HostOptions.h"
#include "tools/host/ModelDrawing.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

std::optional<HostOptions> Parse(std::initializer_list<const char*> arguments, std::string& error) {
  std::vector<char*> argv{const_cast<char*>("tidelink-host")};
  for (const char* argument : arguments) argv.push_back(const_cast<char*>(argument));
  return ParseHostOptions(int(argv.size()), argv.data(), error);
}

TEST(HostOptionsTest, TheLinkRunsForFractionsOfASecondAsTheScriptsWaitDoes) {
  std::string error;
  const auto half = Parse({"link", "--seconds", "2.5"}, error);
  ASSERT_TRUE(half) << error;
  EXPECT_EQ(half->linkSeconds, 2.5);
  for (const char* bad : {"-1", "x", "nan", "86401"}) EXPECT_FALSE(Parse({"link", "--seconds", bad}, error)) << bad;
}

TEST(HostOptionsTest, TheUpAxisIsTheFilesUnlessNamed) {
  std::string error;
  EXPECT_FALSE(Parse({"--drawing", "terrain.stl"}, error)->upAxis);
  EXPECT_EQ(Parse({"--drawing", "terrain.obj", "--up-axis", "z"}, error)->upAxis, UpAxis::kZ);
  EXPECT_EQ(Parse({"--up-axis", "y"}, error)->upAxis, UpAxis::kY);
  EXPECT_FALSE(Parse({"--up-axis", "x"}, error));
  if (ModelImportAvailable()) {
    EXPECT_NE(HostUsage().find("Z for STL"), std::string::npos) << "--help says what is assumed";
  } else {
    EXPECT_NE(HostUsage().find("--drawing FILE       not in this build"), std::string::npos)
        << "--help says that model files cannot be read";
  }
}

TEST(HostOptionsTest, TheGeneratedDrawingTakesACountInRangeAndNoFileBeside) {
  std::string error;
  EXPECT_EQ(Parse({"export", "-o", "a.dae", "--generated", "1000000"}, error)->generatedTriangles, 1000000u);
  for (const char* bad : {"19999", "20000001", "1e6", "-5"}) EXPECT_FALSE(Parse({"--generated", bad}, error)) << bad;
  EXPECT_FALSE(Parse({"export", "house.obj", "-o", "a.dae", "--generated", "20000"}, error));
  EXPECT_NE(error.find("exclude"), std::string::npos) << error;
}

}  // namespace

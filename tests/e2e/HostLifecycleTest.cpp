// Runs the stand-in host as a real process against the real module.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/SharedLibrary.h"
#include "sdk/ModuleEntryPoints.h"
#include "tests/e2e/HostBuild.h"
#include "tests/support/TestEnvironment.h"

namespace {

class HostLifecycleTest : public TestEnvironment {
protected:
  CommandResult RunHost(const std::string& arguments) {
    return RunCommand((binaryDirectory() / "tidelink-host").string() + " " + arguments);
  }

  static std::vector<std::string> Lines(const std::string& output) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < output.size();) {
      size_t end = output.find('\n', start);
      if (end == std::string::npos) end = output.size();
      lines.push_back(output.substr(start, end - start));
      start = end + 1;
    }
    return lines;
  }

  static std::vector<std::string> LinesStartingWith(const std::string& output, const std::string& event) {
    std::vector<std::string> lines = Lines(output);
    std::erase_if(lines, [&](const std::string& line) { return line.rfind(event + " ", 0) != 0; });
    return lines;
  }

  static std::string ModulePath() { return (binaryDirectory() / TIDELINK_MODULE_FILE_NAME).string(); }
};

TEST_F(HostLifecycleTest, SupportedHostRegistersCreatesAndReleasesAllThreeExtensions) {
  const CommandResult result = RunHost("--host-version 25");
  ASSERT_EQ(result.status, 0) << result.output;
  const auto registered = LinesStartingWith(result.output, "registered");
  ASSERT_EQ(registered.size(), 3u) << result.output;
  EXPECT_EQ(registered[0], "registered script functions {CD594A95-6495-44C3-B237-BBDB994ADEF3}");
  EXPECT_EQ(registered[1], "registered menu command {FC2D07BD-0DE7-4C62-B9BB-F022300A86FB}");
  EXPECT_EQ(registered[2], "registered tool {540685FF-8FC4-4A95-906E-243128E9C261}");
  EXPECT_EQ(LinesStartingWith(result.output, "created").size(), 3u);
  EXPECT_EQ(LinesStartingWith(result.output, "released").size(), 3u);
  EXPECT_TRUE(LinesStartingWith(result.output, "refused").empty());
  EXPECT_EQ(result.output.find("warning"), std::string::npos) << "a host service was never released";
}

TEST_F(HostLifecycleTest, OtherHostVersionsGetOnlyTheTool) {
  const CommandResult result = RunHost("--host-version 24");
  ASSERT_EQ(result.status, 0) << result.output;
  const auto registered = LinesStartingWith(result.output, "registered");
  ASSERT_EQ(registered.size(), 1u) << result.output;
  EXPECT_EQ(registered[0], "registered tool {540685FF-8FC4-4A95-906E-243128E9C261}");
  EXPECT_EQ(LinesStartingWith(result.output, "created")[0],
            "created tool {540685FF-8FC4-4A95-906E-243128E9C261} \"OmbrelTideLinkTool\"");
}

TEST_F(HostLifecycleTest, MissingServicesAndCallbackAreSurvived) {
  CommandResult result = RunHost("--without registration");
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_TRUE(LinesStartingWith(result.output, "registered").empty());

  result = RunHost("--without sdk");
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(LinesStartingWith(result.output, "registered").size(), 1u) << "no host version means reduced";

  result = RunHost("--without callback");
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_TRUE(LinesStartingWith(result.output, "registered").empty());
}

TEST_F(HostLifecycleTest, BadCommandLinesAndMissingModulesAreReportedNotCrashed) {
  CommandResult result = RunHost("--host-version twenty");
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.output.find("--host-version needs a whole number"), std::string::npos) << result.output;
  result = RunHost("--without everything");
  EXPECT_EQ(result.status, 2);
  result = RunHost("--ui graphical");
  EXPECT_EQ(result.status, 2);
  result = RunHost("--ui-script " + (scratch() / "missing-answers.txt").string());
  EXPECT_EQ(result.status, 2);
  result = RunHost("--module " + (scratch() / "missing.so").string());
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.output.find("cannot load the module"), std::string::npos) << result.output;
}

TEST_F(HostLifecycleTest, DrawingAndStreamOptionsAreCheckedBeforeTheModuleLoads) {
  CommandResult result = RunHost("--view nowhere");
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.output.find("--view is ok, sheet or no-perspective"), std::string::npos) << result.output;
  result = RunHost("--cancel-after -3");
  EXPECT_EQ(result.status, 2);
  result = RunHost("--drawing " + (scratch() / "missing.obj").string());
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.output.find("drawing: cannot read"), std::string::npos) << result.output;
  EXPECT_EQ(result.output.find("loaded "), std::string::npos) << "the module was loaded for a drawing that failed";
}

TEST_F(HostLifecycleTest, AModelFileIsReadAsTheDrawing) {
  const std::string model = "/usr/share/assimp/models/glTF2/BoxTextured-glTF/BoxTextured.gltf";
  if (!kHostReadsModels) GTEST_SKIP() << kWithoutModelImport;
  if (!std::filesystem::exists(model)) GTEST_SKIP() << model << " is not installed (package assimp-testmodels)";
  const CommandResult result = RunHost("--drawing " + model);
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find("drawing: BoxTextured.gltf with 2 materials, 1 geometries, 1 instances"),
            std::string::npos) << result.output;
}

TEST_F(HostLifecycleTest, TheLoadedModuleAnswersItsVersion) {
  platform::SharedLibrary library;
  std::string error;
  ASSERT_TRUE(platform::SharedLibrary::Load(ModulePath(), library, error)) << error;
  auto version = reinterpret_cast<ModuleVersionFunction>(library.FindSymbol(kModuleVersionName));
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version(), 2500);
}

}  // namespace

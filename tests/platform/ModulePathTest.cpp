#include "platform/ModulePath.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/TextConversion.h"

namespace {

// The test program holds this code, so its folder is the module folder.
TEST(ModulePathTest, TheFolderIsThatOfTheProgramHoldingTheCode) {
  const std::u16string folder = platform::GetModuleFolder();
  ASSERT_FALSE(folder.empty());
  const std::filesystem::path program =
      std::filesystem::canonical(std::filesystem::absolute(::testing::internal::GetArgvs().front()));
  EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::path(folder), program.parent_path()));
}

}  // namespace

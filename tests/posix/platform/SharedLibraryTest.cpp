#include <gtest/gtest.h>

#include <dlfcn.h>

#include "platform/SharedLibrary.h"

namespace {

// A system library this test program does not link, so that unloading it really unmaps it.
constexpr const char* kLibrary = "libxxhash.so.0";

TEST(SharedLibraryTest, ALibraryKeptLoadedOutlivesItsUnload) {
  platform::SharedLibrary library;
  std::string error;
  ASSERT_TRUE(platform::SharedLibrary::Load(kLibrary, library, error)) << error;
  const void* function = library.FindSymbol("XXH64");
  ASSERT_NE(function, nullptr);
  EXPECT_TRUE(platform::KeepLoadedUntilExit(function));
  library.Unload();
  EXPECT_NE(dlopen(kLibrary, RTLD_NOW | RTLD_NOLOAD), nullptr);

  const int onTheStack = 0;
  EXPECT_FALSE(platform::KeepLoadedUntilExit(&onTheStack));
}

}  // namespace

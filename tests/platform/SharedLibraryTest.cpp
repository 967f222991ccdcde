#include "platform/SharedLibrary.h"

#include <gtest/gtest.h>

namespace {

TEST(SharedLibrary, FindsExportedSymbolsAndNothingElse) {
  platform::SharedLibrary library;
  std::string error;
  ASSERT_TRUE(platform::SharedLibrary::Load("libm.so.6", library, error)) << error;
  using Function = double (*)(double);
  const auto squareRoot = reinterpret_cast<Function>(library.FindSymbol("sqrt"));
  ASSERT_NE(squareRoot, nullptr);
  EXPECT_EQ(squareRoot(16.0), 4.0);
  EXPECT_EQ(library.FindSymbol("no_such_symbol_anywhere"), nullptr);
}

TEST(SharedLibrary, FailedLoadExplainsAndKeepsTheLoadedLibrary) {
  platform::SharedLibrary library;
  std::string error;
  ASSERT_TRUE(platform::SharedLibrary::Load("libm.so.6", library, error)) << error;
  EXPECT_FALSE(platform::SharedLibrary::Load("/nonexistent/libmissing.so", library, error));
  EXPECT_NE(error.find("libmissing.so"), std::string::npos) << error;
  EXPECT_NE(library.FindSymbol("sqrt"), nullptr);
}

TEST(SharedLibrary, MovingHandsOverTheLibraryOnce) {
  platform::SharedLibrary first;
  std::string error;
  ASSERT_TRUE(platform::SharedLibrary::Load("libm.so.6", first, error)) << error;
  platform::SharedLibrary second(std::move(first));
  EXPECT_EQ(first.FindSymbol("sqrt"), nullptr);
  EXPECT_NE(second.FindSymbol("sqrt"), nullptr);
  second.Unload();
  EXPECT_EQ(second.FindSymbol("sqrt"), nullptr);
}

}  // namespace

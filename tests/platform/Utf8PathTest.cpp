#include "platform/Utf8Path.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/TextConversion.h"

namespace {

using platform::PathFromUtf8;
using platform::Utf8FromPath;

// A path's parts keep their letters both ways, whatever the system's narrow code page: the
// library's own narrow conversions on Windows would turn them into '?' or mangled Latin-1.
TEST(Utf8PathTest, LettersOutsideEveryCodePageSurviveBothWays) {
  const std::string folder = platform::Utf8FromUtf16(u"\u03A3\u03C7\u03AD\u03B4\u03B9\u03B1");
  const std::string name = platform::Utf8FromUtf16(u"\u56FE\u7EB8 K\u00FCche.dae");
  const std::filesystem::path path = PathFromUtf8(folder + "/" + name);
  EXPECT_EQ(Utf8FromPath(path.filename()), name);
  EXPECT_EQ(Utf8FromPath(path.parent_path()), folder);
  EXPECT_EQ(path.filename().u16string(), u"\u56FE\u7EB8 K\u00FCche.dae");
  EXPECT_EQ(Utf8FromPath(PathFromUtf8("")), "");
}

// Broken text from a file or a variable gives a path, never an exception.
TEST(Utf8PathTest, InvalidUtf8GivesAPathInsteadOfThrowing) {
  const std::string broken = "plan-\xC3-\xFF.dae";
  std::string back;
  EXPECT_NO_THROW(back = Utf8FromPath(PathFromUtf8(broken)));
#ifdef _WIN32
  EXPECT_EQ(back, "plan-\xEF\xBF\xBD-\xEF\xBF\xBD.dae");
#else
  EXPECT_EQ(back, broken) << "POSIX names are bytes, kept as they are";
#endif
}

}  // namespace

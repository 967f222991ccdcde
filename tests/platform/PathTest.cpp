#include "platform/Path.h"

#include <gtest/gtest.h>

namespace {

using platform::FileNameOf;
using platform::FolderOf;
using platform::JoinPath;
using platform::WithNativeSeparators;
using platform::WithoutExtension;
using platform::WithUriSeparators;

TEST(PathTest, NameAndFolderSplitAtTheLastSeparator) {
  EXPECT_EQ(FileNameOf(u"/home/ann/K\u00fcche.vwx"), u"K\u00fcche.vwx");
  EXPECT_EQ(FolderOf(u"/home/ann/K\u00fcche.vwx"), u"/home/ann");
  EXPECT_EQ(FileNameOf(u"/home/ann.b/plan"), u"plan");
  EXPECT_EQ(FolderOf(u"/home/ann.b/plan"), u"/home/ann.b");
  // A trailing separator leaves no name; the root leaves no folder.
  EXPECT_EQ(FileNameOf(u"/home/ann/"), u"");
  EXPECT_EQ(FolderOf(u"/home/ann/"), u"/home/ann");
  EXPECT_EQ(FolderOf(u"/plan.vwx"), u"");
  // Without a separator the text is both the name and the folder.
  EXPECT_EQ(FileNameOf(u"plan.vwx"), u"plan.vwx");
  EXPECT_EQ(FolderOf(u"plan.vwx"), u"plan.vwx");
  EXPECT_EQ(FileNameOf(u""), u"");
}

TEST(PathTest, OnlyTheFileNamesDotStartsAnExtension) {
  EXPECT_EQ(WithoutExtension(u"/home/ann/site.phase2.vwx"), u"/home/ann/site.phase2");
  EXPECT_EQ(WithoutExtension(u"/home/ann.b/K\u00fcche"), u"/home/ann.b/K\u00fcche");
  EXPECT_EQ(WithoutExtension(u"/home/ann.b/"), u"/home/ann.b/");
  EXPECT_EQ(WithoutExtension(u"plan.vwx"), u"plan");
  EXPECT_EQ(WithoutExtension(u"plan"), u"plan");
}

TEST(PathTest, JoiningAddsOneSeparator) {
  const std::u16string separator(1, platform::kPathSeparator);
  EXPECT_EQ(JoinPath(u"/plans", u"House.dae"), u"/plans" + separator + u"House.dae");
  EXPECT_EQ(JoinPath(u"/plans/", u"House.dae"), u"/plans/House.dae");
  EXPECT_EQ(JoinPath(u"", u"House.dae"), separator + u"House.dae");
}

#ifdef _WIN32

TEST(PathTest, BothSlashesSeparateAndTheUriUsesForwardOnes) {
  EXPECT_EQ(FileNameOf(u"C:\\Plans/K\u00fcche\\plan.vwx"), u"plan.vwx");
  EXPECT_EQ(FolderOf(u"C:\\Plans/K\u00fcche\\plan.vwx"), u"C:\\Plans/K\u00fcche");
  EXPECT_EQ(FolderOf(u"C:/Plans/plan.vwx"), u"C:/Plans");
  EXPECT_EQ(WithoutExtension(u"C:\\a.b\\plan"), u"C:\\a.b\\plan");
  EXPECT_EQ(JoinPath(u"C:/Plans/", u"x.dae"), u"C:/Plans/x.dae");
  EXPECT_EQ(WithNativeSeparators(u"C:/Plans\\K\u00fcche/x.dae"), u"C:\\Plans\\K\u00fcche\\x.dae");
  EXPECT_EQ(WithUriSeparators(u"C:\\Plans/K\u00fcche\\x.dae"), u"C:/Plans/K\u00fcche/x.dae");
}

#else

TEST(PathTest, ABackslashIsPartOfANameAndIsKept) {
  EXPECT_EQ(FileNameOf(u"/plans/C:\\Work\\plan.vwx"), u"C:\\Work\\plan.vwx");
  EXPECT_EQ(FolderOf(u"C:\\Work\\plan.vwx"), u"C:\\Work\\plan.vwx");
  EXPECT_EQ(WithoutExtension(u"a.b\\plan"), u"a");
  EXPECT_EQ(JoinPath(u"C:\\", u"x.dae"), u"C:\\/x.dae");
  EXPECT_EQ(WithNativeSeparators(u"/plans\\x/y"), u"/plans\\x/y");
  EXPECT_EQ(WithUriSeparators(u"/plans\\x/y"), u"/plans\\x/y");
}

#endif

}  // namespace

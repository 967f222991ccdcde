#include <gtest/gtest.h>

#include "ui/ExportFileName.h"

namespace {

using ui::CompleteChosenPath;
using ui::PrepareExportFileName;

TEST(ExportFileNameTest, OfferedNameGetsTheColladaExtensionAndLosesItsFolder) {
  EXPECT_EQ(PrepareExportFileName(u"untitled.dae", u"/plans"), u"untitled.dae");
  EXPECT_EQ(PrepareExportFileName(u"/plans/House.vwx", u"/plans"), u"House.dae");
  EXPECT_EQ(PrepareExportFileName(u"/plans/site.phase2.vwx", u"/plans"), u"site.phase2.dae");
  EXPECT_EQ(PrepareExportFileName(u"/plans/House", u"/plans"), u"House.dae");
  EXPECT_EQ(PrepareExportFileName(u"/plans.v2/House", u"/plans.v2"), u"House.dae");
  // Without an initial folder the whole path is offered.
  EXPECT_EQ(PrepareExportFileName(u"/plans/House.vwx", u""), u"/plans/House.dae");
}

TEST(ExportFileNameTest, AnOverlongOfferedNameIsCutToTheFileBufferNeverSplittingAPair) {
  const std::u16string longName(400, u'a');
  EXPECT_EQ(PrepareExportFileName(longName, u""), std::u16string(259, u'a'));

  // 258 units, then a surrogate pair that would straddle the last place.
  std::u16string straddling(258, u'b');
  straddling += u"\U0001F600.vwx";
  EXPECT_EQ(PrepareExportFileName(straddling, u""), std::u16string(258, u'b'));

  const std::u16string fitting = std::u16string(255, u'c') + u".vwx";  // 255 + ".dae" = 259
  EXPECT_EQ(PrepareExportFileName(fitting, u""), std::u16string(255, u'c') + u".dae");
}

TEST(ExportFileNameTest, ChosenPathGetsTheExtensionOnlyWhenItHasNoDotAnywhere) {
  EXPECT_EQ(CompleteChosenPath(u"/plans/House"), u"/plans/House.dae");
  EXPECT_EQ(CompleteChosenPath(u"/plans/House.obj"), u"/plans/House.obj");
  EXPECT_EQ(CompleteChosenPath(u"/home/j.smith/House"), u"/home/j.smith/House");
  EXPECT_EQ(CompleteChosenPath(u""), u"");
}

TEST(ExportFileNameTest, OfferedPathJoinsFolderAndName) {
#ifdef _WIN32
  EXPECT_EQ(ui::OfferedPath(u"C:\\plans", u"House.dae"), u"C:\\plans\\House.dae");
  EXPECT_EQ(ui::OfferedPath(u"C:\\plans\\", u"House.dae"), u"C:\\plans\\House.dae");
  // '/' separates as well: no second separator after it.
  EXPECT_EQ(ui::OfferedPath(u"C:/plans/", u"House.dae"), u"C:/plans/House.dae");
#else
  EXPECT_EQ(ui::OfferedPath(u"/plans", u"House.dae"), u"/plans/House.dae");
  EXPECT_EQ(ui::OfferedPath(u"/plans/", u"House.dae"), u"/plans/House.dae");
#endif
  EXPECT_EQ(ui::OfferedPath(u"", u"House.dae"), u"House.dae");
}

}  // namespace

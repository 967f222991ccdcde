#include <gtest/gtest.h>

#include "tools/host/EditScript.h"

namespace {

TEST(EditScriptTest, ReadsNamesNumbersAndQuotedNamesInTheirOrder) {
  std::string error;
  const auto steps = ParseEditScript(
      "# a comment\n\nadd shed box 1 -2.5 3e2 \"Roof tiles\" Steel\r\nbutton 1\nbutton 1 1\nview 1 2 3 4 5 6 7 8 9 10 11\n",
      error);
  ASSERT_TRUE(steps) << error;
  ASSERT_EQ(steps->size(), 4u);
  const EditStep& add = (*steps)[0];
  EXPECT_EQ(add.line, 3);
  EXPECT_EQ(add.kind, EditKind::kAdd);
  EXPECT_EQ(add.names, (std::vector<std::string>{"shed", "box", "Roof tiles", "Steel"}));
  EXPECT_EQ(add.numbers, (std::vector<double>{1, -2.5, 300}));
  EXPECT_EQ((*steps)[1].numbers, std::vector<double>{1});
  EXPECT_EQ((*steps)[2].numbers, (std::vector<double>{1, 1}));
  EXPECT_EQ((*steps)[3].numbers.size(), 11u);
}

TEST(EditScriptTest, AnyFaultNamesItsLineAndGivesNoSteps) {
  const std::pair<const char*, const char*> faults[] = {
      {"move a 1 2 3\njump a\n", "line 2: unknown step \"jump\""},
      {"move a 1 2\n", "line 1: \"move\" takes 4 words, not 3"},
      {"materials a\n", "line 1: \"materials\" takes 2 or more words, not 1"},
      {"colour m 0.5 1.5 0\n", "line 1: bad number \"1.5\" for \"colour\""},
      {"projection 1.5\n", "line 1: bad number \"1.5\" for \"projection\""},
      {"move a 1 2 nan\n", "line 1: bad number \"nan\" for \"move\""},
      {"layer roof\n", "line 1: layer is sheet or design, not \"roof\""},
      {"\ntouch \"Brick\n", "line 2: a quoted name is not closed"},
  };
  for (const auto& [script, expected] : faults) {
    std::string error;
    EXPECT_FALSE(ParseEditScript(script, error)) << script;
    EXPECT_EQ(error, expected) << script;
  }
}

}  // namespace

#include <gtest/gtest.h>

#include "ui/HeadlessScript.h"
#include "ui/MessageBoxStyle.h"

namespace {

using ui::HeadlessScript;
using ui::SaveAnswer;

TEST(HeadlessScriptTest, EachKindOfAnswerQueuesInItsOwnOrder) {
  const HeadlessScript script = HeadlessScript::Parse(
      "# batch answers\n"
      "message yes\n"
      "dialog 1003 cancel\n"
      "save /tmp/out dir/House.dae\n"
      "message close; message no\n"
      "\n"
      "save\n"
      "save-cancel\n"
      "dialog\n"
      "dialog ok close 1009\n");
  EXPECT_TRUE(script.errors.empty());
  EXPECT_EQ(script.messageAnswers, (std::deque<int>{ui::kResultYes, ui::kCloseBoxAnswer, ui::kResultNo}));
  ASSERT_EQ(script.dialogCommands.size(), 3u);
  EXPECT_EQ(script.dialogCommands[0], (std::vector<int>{1003, 2}));
  EXPECT_TRUE(script.dialogCommands[1].empty());
  EXPECT_EQ(script.dialogCommands[2], (std::vector<int>{1, 2, 1009}));
  ASSERT_EQ(script.saveAnswers.size(), 3u);
  EXPECT_EQ(script.saveAnswers[0].kind, SaveAnswer::Kind::Path);
  EXPECT_EQ(script.saveAnswers[0].path, u"/tmp/out dir/House.dae");
  EXPECT_EQ(script.saveAnswers[1].kind, SaveAnswer::Kind::AcceptOffered);
  EXPECT_EQ(script.saveAnswers[2].kind, SaveAnswer::Kind::Cancel);
}

TEST(HeadlessScriptTest, ASavedPathIsNeverSplit) {
  const HeadlessScript script = HeadlessScript::Parse("save /tmp/semi;colon.dae\nsave; message yes\nsave /a;b; c.dae");
  EXPECT_TRUE(script.errors.empty());
  ASSERT_EQ(script.saveAnswers.size(), 3u);
  EXPECT_EQ(script.saveAnswers[0].path, u"/tmp/semi;colon.dae");
  EXPECT_EQ(script.saveAnswers[1].kind, SaveAnswer::Kind::AcceptOffered);
  EXPECT_EQ(script.saveAnswers[2].path, u"/a;b; c.dae");
  EXPECT_EQ(script.messageAnswers, std::deque<int>{ui::kResultYes});
}

TEST(HeadlessScriptTest, AnswersThatAreNotUnderstoodAreSkippedAndReportedByNumber) {
  const HeadlessScript script =
      HeadlessScript::Parse("message maybe\nmessage ok\ndialog 12x\nshout\nsave-cancel now\ndialog -3");
  EXPECT_EQ(script.messageAnswers, (std::deque<int>{ui::kResultOk}));
  EXPECT_TRUE(script.dialogCommands.empty());
  EXPECT_TRUE(script.saveAnswers.empty());
  ASSERT_EQ(script.errors.size(), 5u);
  EXPECT_EQ(script.errors[0], "answer 1: \"message maybe\" not understood");
  EXPECT_EQ(script.errors[3], "answer 5: \"save-cancel now\" not understood");
}

}  // namespace

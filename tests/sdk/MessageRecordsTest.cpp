#include <gtest/gtest.h>

#include <fstream>

#include "sdk/MessageRecords.h"
#include "tests/support/TestEnvironment.h"

namespace {

class MessageRecordsTest : public TestEnvironment {};

TEST_F(MessageRecordsTest, TextsWithTabsNewlinesAndBackslashesComeBackAsWritten) {
  // The path is UTF-8, as the environment gives it.
  const std::string path = (scratch() / "K\u00fcche boxes").string();
  const MessageRecord tricky{"Ombrel TideLink - Export\tfailed", "C:\\new\\table.dae\nnot\\twritten\\", 6};
  ASSERT_TRUE(AppendMessageRecord(path, tricky));
  ASSERT_TRUE(AppendMessageRecord(path, {"", "", -1}));
  const auto records = ReadMessageRecords(path);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].caption, tricky.caption);
  EXPECT_EQ(records[0].text, tricky.text);
  EXPECT_EQ(records[0].result, 6);
  EXPECT_EQ(records[1].result, -1);
}

TEST_F(MessageRecordsTest, LinesThatDoNotParseAreSkipped) {
  const std::string path = (scratch() / "boxes").string();
  std::ofstream(path, std::ios::binary) << "no tabs\none\ttab\nresult\tnot\tnumber\nok\ttext\t1\nlast\tone\t2x\n";
  const auto records = ReadMessageRecords(path);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].caption, "ok");
  EXPECT_TRUE(ReadMessageRecords((scratch() / "missing").string()).empty());
}

}  // namespace

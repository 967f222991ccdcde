#pragma once

#include <string>
#include <vector>

// The record of every message box the plug-in showed and how it was answered, so that a program
// hosting the plug-in learns how a command ended whichever interface the user saw. The host names
// the file in the environment variable kMessageRecordsVariable; the plug-in appends one line per
// box, "caption<TAB>text<TAB>result", with tab, newline and backslash written as \t, \n and \\.
inline constexpr const char* kMessageRecordsVariable = "TIDELINK_UI_RECORDS";

struct MessageRecord {
  std::string caption;  // UTF-8
  std::string text;
  int result = 0;
};

// Appends `record` to the file at `path` (UTF-8); false when it cannot be written.
bool AppendMessageRecord(const std::string& path, const MessageRecord& record);
// The records in the file at `path` (UTF-8), in the order written; lines that do not parse are
// skipped. None when the file cannot be read.
std::vector<MessageRecord> ReadMessageRecords(const std::string& path);

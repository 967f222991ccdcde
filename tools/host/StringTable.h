#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One ".vwstrings" file: UTF-8 lines `"key" = "text";`, `//` comments and blank lines; escapes
// \" \\ and \n inside the quotes.
struct StringTable {
  std::map<std::u16string, std::u16string> texts;
  std::vector<std::string> problems;  // "line N: ..." for every line that could not be read
};

StringTable ParseStringTable(std::string_view content);
// Nothing when the file cannot be read.
std::optional<StringTable> LoadStringTable(const std::string& path);

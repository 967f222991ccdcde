#include "tools/host/StringTable.h"

#include <fstream>
#include <sstream>

#include "platform/TextConversion.h"
#include "platform/Utf8Path.h"

namespace {

void SkipSpaces(std::string_view line, size_t& position) {
  while (position < line.size() && (line[position] == ' ' || line[position] == '\t')) ++position;
}

// Reads a quoted string at `position`; nothing when it is not there or not closed.
std::optional<std::string> ReadQuoted(std::string_view line, size_t& position) {
  SkipSpaces(line, position);
  if (position >= line.size() || line[position] != '"') return std::nullopt;
  std::string text;
  for (++position; position < line.size(); ++position) {
    char character = line[position];
    if (character == '"') {
      ++position;
      return text;
    }
    if (character == '\\' && position + 1 < line.size()) {
      const char escaped = line[++position];
      character = escaped == 'n' ? '\n' : escaped;
    }
    text += character;
  }
  return std::nullopt;
}

bool Expect(std::string_view line, size_t& position, char expected) {
  SkipSpaces(line, position);
  if (position >= line.size() || line[position] != expected) return false;
  ++position;
  return true;
}

}  // namespace

StringTable ParseStringTable(std::string_view content) {
  StringTable table;
  size_t lineNumber = 0;
  while (!content.empty()) {
    const size_t end = content.find('\n');
    std::string_view line = content.substr(0, end);
    content = end == std::string_view::npos ? std::string_view() : content.substr(end + 1);
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    size_t position = 0;
    SkipSpaces(line, position);
    if (position == line.size() || line.substr(position).starts_with("//")) continue;

    std::optional<std::string> key = ReadQuoted(line, position);
    std::optional<std::string> text;
    if (key && Expect(line, position, '=')) text = ReadQuoted(line, position);
    if (!text || !Expect(line, position, ';')) {
      table.problems.push_back("line " + std::to_string(lineNumber) + ": expected \"key\" = \"text\";");
      continue;
    }
    table.texts[platform::Utf16FromUtf8(*key)] = platform::Utf16FromUtf8(*text);
  }
  return table;
}

std::optional<StringTable> LoadStringTable(const std::string& path) {
  std::ifstream stream(platform::PathFromUtf8(path), std::ios::binary);
  if (!stream) return std::nullopt;
  std::ostringstream content;
  content << stream.rdbuf();
  return ParseStringTable(content.str());
}

#include "sdk/MessageRecords.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>

#include "platform/FileSystem.h"
#include "platform/TextConversion.h"

namespace {

std::string Escaped(std::string_view text) {
  std::string escaped;
  for (const char character : text) {
    switch (character) {
      case '\t': escaped += "\\t"; break;
      case '\n': escaped += "\\n"; break;
      case '\\': escaped += "\\\\"; break;
      default: escaped += character;
    }
  }
  return escaped;
}

std::string Unescaped(std::string_view text) {
  std::string plain;
  for (size_t index = 0; index < text.size(); ++index) {
    if (text[index] != '\\' || index + 1 == text.size()) {
      plain += text[index];
      continue;
    }
    const char next = text[++index];
    plain += next == 't' ? '\t' : next == 'n' ? '\n' : next;
  }
  return plain;
}

std::FILE* OpenRecords(const std::string& path, platform::FileOpenMode mode) {
  return platform::OpenFile(platform::Utf16FromUtf8(path), mode);
}

std::string WholeFile(std::FILE* file) {
  std::string contents;
  char buffer[4096];
  for (size_t count; (count = std::fread(buffer, 1, sizeof(buffer), file)) > 0;) contents.append(buffer, count);
  return contents;
}

}  // namespace

bool AppendMessageRecord(const std::string& path, const MessageRecord& record) {
  std::FILE* file = OpenRecords(path, platform::FileOpenMode::kAppend);
  if (!file) return false;
  const std::string line = Escaped(record.caption) + '\t' + Escaped(record.text) + '\t' +
                           std::to_string(record.result) + '\n';
  const bool written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
  return (std::fclose(file) == 0) && written;
}

std::vector<MessageRecord> ReadMessageRecords(const std::string& path) {
  std::vector<MessageRecord> records;
  std::FILE* file = OpenRecords(path, platform::FileOpenMode::kRead);
  if (!file) return records;
  const std::string contents = WholeFile(file);
  std::fclose(file);
  for (size_t lineStart = 0; lineStart < contents.size();) {
    const size_t lineEnd = std::min(contents.find('\n', lineStart), contents.size());
    const std::string_view fields = std::string_view(contents).substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 1;
    const size_t first = fields.find('\t');
    const size_t second = first == std::string_view::npos ? first : fields.find('\t', first + 1);
    if (second == std::string_view::npos) continue;
    MessageRecord record{Unescaped(fields.substr(0, first)), Unescaped(fields.substr(first + 1, second - first - 1)), 0};
    const std::string_view result = fields.substr(second + 1);
    const auto [end, error] = std::from_chars(result.data(), result.data() + result.size(), record.result);
    if (error != std::errc() || end != result.data() + result.size()) continue;
    records.push_back(std::move(record));
  }
  return records;
}

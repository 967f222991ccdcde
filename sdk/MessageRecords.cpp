#include "sdk/MessageRecords.h"

#include <charconv>
#include <fstream>
#include <string_view>

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

}  // namespace

bool AppendMessageRecord(const std::string& path, const MessageRecord& record) {
  std::ofstream file(path, std::ios::app);
  file << Escaped(record.caption) << '\t' << Escaped(record.text) << '\t' << record.result << '\n';
  return static_cast<bool>(file.flush());
}

std::vector<MessageRecord> ReadMessageRecords(const std::string& path) {
  std::vector<MessageRecord> records;
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    const std::string_view fields(line);
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

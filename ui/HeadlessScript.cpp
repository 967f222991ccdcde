#include "ui/HeadlessScript.h"

#include <charconv>
#include <optional>

#include "platform/TextConversion.h"
#include "ui/DialogTemplate.h"
#include "ui/MessageBoxStyle.h"

namespace ui {
namespace {

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// The first word and the rest of the line, both trimmed.
std::pair<std::string_view, std::string_view> SplitWord(std::string_view line) {
  const size_t space = line.find_first_of(" \t");
  if (space == std::string_view::npos) return {line, {}};
  return {line.substr(0, space), Trim(line.substr(space))};
}

std::optional<int> MessageAnswer(std::string_view word) {
  if (word == "close") return kCloseBoxAnswer;
  return ButtonFromName(word);
}

std::optional<int> DialogItem(std::string_view word) {
  if (word == "ok") return kCommandOk;
  if (word == "cancel" || word == "close") return kCommandCancel;
  int item = 0;
  const auto [end, status] = std::from_chars(word.data(), word.data() + word.size(), item);
  if (status != std::errc() || end != word.data() + word.size() || item <= 0) return std::nullopt;
  return item;
}

std::optional<std::vector<int>> DialogItems(std::string_view rest) {
  std::vector<int> items;
  while (!rest.empty()) {
    const auto [word, remainder] = SplitWord(rest);
    const std::optional<int> item = DialogItem(word);
    if (!item) return std::nullopt;
    items.push_back(*item);
    rest = remainder;
  }
  return items;
}

// Adds the answer of one line; false when the line is not understood.
bool AddAnswer(HeadlessScript& script, std::string_view line) {
  const auto [verb, rest] = SplitWord(line);
  if (verb == "message") {
    const std::optional<int> answer = MessageAnswer(rest);
    if (answer) script.messageAnswers.push_back(*answer);
    return answer.has_value();
  }
  if (verb == "dialog") {
    std::optional<std::vector<int>> items = DialogItems(rest);
    if (items) script.dialogCommands.push_back(std::move(*items));
    return items.has_value();
  }
  if (verb == "save") {
    if (rest.empty()) {
      script.saveAnswers.push_back({SaveAnswer::Kind::AcceptOffered, {}});
    } else {
      script.saveAnswers.push_back({SaveAnswer::Kind::Path, platform::Utf16FromUtf8(rest)});
    }
    return true;
  }
  if (verb == "save-cancel" && rest.empty()) {
    script.saveAnswers.push_back({SaveAnswer::Kind::Cancel, {}});
    return true;
  }
  return false;
}

}  // namespace

HeadlessScript HeadlessScript::Parse(std::string_view text) {
  HeadlessScript script;
  size_t answerNumber = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\n;", start);
    // A file name may hold ';': a save answer with a path runs to the end of its line.
    const auto [verb, path] = SplitWord(Trim(text.substr(start, end - start)));
    if (verb == "save" && !path.empty()) end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    ++answerNumber;
    const std::string_view line = Trim(text.substr(start, end - start));
    if (!line.empty() && line.front() != '#' && !AddAnswer(script, line)) {
      script.errors.push_back("answer " + std::to_string(answerNumber) + ": \"" + std::string(line) + "\" not understood");
    }
    start = end + 1;
  }
  return script;
}

}  // namespace ui

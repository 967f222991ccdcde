#include "tools/host/EditScript.h"

#include <limits>

#include "tools/host/HostOptions.h"

namespace {

// What a step takes: names, then numbers, then (for lists) more names.
struct Grammar {
  std::string_view word;
  EditKind kind;
  size_t names;
  size_t numbers;
  size_t optionalNumbers;
  bool nameList;  // at least one more name follows the numbers
  bool wholeNumbers;
  double minimum;
  double maximum;
};

constexpr double kAny = std::numeric_limits<double>::max();

constexpr Grammar kGrammar[] = {
    {"move", EditKind::kMove, 1, 3, 0, false, false, -kAny, kAny},
    {"rotate", EditKind::kRotate, 1, 1, 0, false, false, -kAny, kAny},
    {"mirror", EditKind::kMirror, 1, 0, 0, false, false, 0, 0},
    {"materials", EditKind::kMaterials, 1, 0, 0, true, false, 0, 0},
    {"remove", EditKind::kRemove, 1, 0, 0, false, false, 0, 0},
    {"add", EditKind::kAdd, 2, 3, 0, true, false, -kAny, kAny},
    {"replace", EditKind::kReplace, 2, 0, 0, false, false, 0, 0},
    {"colour", EditKind::kColour, 1, 3, 0, false, false, 0, 1},
    {"opacity", EditKind::kOpacity, 1, 1, 0, false, false, 0, 1},
    {"texture", EditKind::kTexture, 2, 0, 0, false, false, 0, 0},
    {"touch", EditKind::kTouch, 1, 0, 0, false, false, 0, 0},
    {"view", EditKind::kView, 0, 11, 0, false, false, -kAny, kAny},
    {"layer", EditKind::kLayer, 1, 0, 0, false, false, 0, 0},
    {"projection", EditKind::kProjection, 0, 1, 0, false, true, 0, 32767},
    {"switch", EditKind::kSwitch, 1, 0, 0, false, false, 0, 0},
    {"save", EditKind::kSave, 0, 0, 0, false, false, 0, 0},
    {"save-as", EditKind::kSaveAs, 1, 0, 0, false, false, 0, 0},
    {"close", EditKind::kClose, 0, 0, 0, false, false, 0, 0},
    {"button", EditKind::kButton, 0, 1, 1, false, true, 0, 99},
    {"script", EditKind::kScript, 1, 0, 0, false, false, 0, 0},
    {"click", EditKind::kClick, 0, 1, 0, false, true, 0, 99},
    {"quit", EditKind::kQuit, 0, 0, 0, false, false, 0, 0},
    {"wait", EditKind::kWait, 0, 1, 0, false, false, 0, 3600},
};

// The words of a line; false, with `error` set, when a quote is not closed.
bool SplitWords(std::string_view line, std::vector<std::string>& words, std::string& error) {
  size_t at = 0;
  while (at < line.size()) {
    if (line[at] == ' ' || line[at] == '\t') {
      ++at;
      continue;
    }
    if (line[at] == '"') {
      const size_t close = line.find('"', at + 1);
      if (close == std::string_view::npos) {
        error = "a quoted name is not closed";
        return false;
      }
      words.emplace_back(line.substr(at + 1, close - at - 1));
      at = close + 1;
      continue;
    }
    const size_t end = line.find_first_of(" \t", at);
    words.emplace_back(line.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
    at = end == std::string_view::npos ? line.size() : end;
  }
  return true;
}

const Grammar* FindGrammar(std::string_view word) {
  for (const Grammar& grammar : kGrammar) {
    if (grammar.word == word) return &grammar;
  }
  return nullptr;
}

std::optional<double> Number(const Grammar& grammar, std::string_view text) {
  if (grammar.wholeNumbers) {
    const std::optional<int> whole = ParseWholeNumber(text, int(grammar.minimum), int(grammar.maximum));
    return whole ? std::optional<double>(*whole) : std::nullopt;
  }
  const std::optional<double> value = ParseDecimalNumber(text);
  if (!value || *value < grammar.minimum || *value > grammar.maximum) return std::nullopt;
  return value;
}

// The step of one line's words; false, with `error` set, when they do not make one.
bool ParseStep(const std::vector<std::string>& words, EditStep& step, std::string& error) {
  const Grammar* grammar = FindGrammar(words[0]);
  if (!grammar) {
    error = "unknown step \"" + words[0] + "\"";
    return false;
  }
  step.kind = grammar->kind;
  const size_t given = words.size() - 1;
  const size_t least = grammar->names + grammar->numbers + (grammar->nameList ? 1 : 0);
  const size_t most = grammar->nameList ? SIZE_MAX : least + grammar->optionalNumbers;
  if (given < least || given > most) {
    error = "\"" + words[0] + "\" takes " + std::to_string(least) + (most == least ? "" : " or more") + " words, not " +
            std::to_string(given);
    return false;
  }
  size_t word = 1;
  for (; word <= grammar->names; ++word) step.names.push_back(words[word]);
  const size_t numbers = grammar->nameList ? grammar->numbers : given - grammar->names;
  for (size_t number = 0; number < numbers; ++number, ++word) {
    const std::optional<double> value = Number(*grammar, words[word]);
    if (!value) {
      error = "bad number \"" + words[word] + "\" for \"" + words[0] + "\"";
      return false;
    }
    step.numbers.push_back(*value);
  }
  for (; word < words.size(); ++word) step.names.push_back(words[word]);
  if (step.kind == EditKind::kLayer && step.names[0] != "sheet" && step.names[0] != "design") {
    error = "layer is sheet or design, not \"" + step.names[0] + "\"";
    return false;
  }
  return true;
}

}  // namespace

std::optional<std::vector<EditStep>> ParseEditScript(std::string_view text, std::string& error) {
  std::vector<EditStep> steps;
  int lineNumber = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::vector<std::string> words;
    std::string problem;
    if (!SplitWords(line, words, problem)) {
      error = "line " + std::to_string(lineNumber) + ": " + problem;
      return std::nullopt;
    }
    if (words.empty() || words[0].starts_with('#')) continue;
    EditStep step;
    step.line = lineNumber;
    step.text = std::string(line);
    if (!ParseStep(words, step, problem)) {
      error = "line " + std::to_string(lineNumber) + ": " + problem;
      return std::nullopt;
    }
    steps.push_back(std::move(step));
  }
  return steps;
}

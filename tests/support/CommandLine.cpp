#include "tests/support/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace {

// The words of `line`: quotes group and are removed.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (const char character : line) {
    if (quote != 0) {
      if (character == quote) {
        quote = 0;
      } else {
        word += character;
      }
    } else if (character == '\'' || character == '"') {
      quote = character;
      inWord = true;
    } else if (character == ' ' || character == '\t' || character == '\n') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += character;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

// NAME=value, where NAME is a letter or underscore, then letters, digits and underscores.
bool IsAssignment(const std::string& word) {
  const size_t equals = word.find('=');
  if (equals == std::string::npos || equals == 0 || std::isdigit(static_cast<unsigned char>(word[0]))) return false;
  return std::all_of(word.begin(), word.begin() + equals,
                     [](char character) { return std::isalnum(static_cast<unsigned char>(character)) || character == '_'; });
}

std::string ProgramFile(const std::string& program) {
#ifdef _WIN32
  std::error_code ignored;
  if (!std::filesystem::exists(program, ignored) && std::filesystem::exists(program + ".exe", ignored)) {
    return program + ".exe";
  }
#endif
  return program;
}

}  // namespace

CommandLine ParseCommandLine(const std::string& line) {
  CommandLine command;
  const std::vector<std::string> words = Words(line);
  size_t index = 0;
  if (index < words.size() && words[index] == "exec") ++index;
  if (index < words.size() && words[index] == "env") ++index;
  for (; index < words.size() && IsAssignment(words[index]); ++index) {
    const size_t equals = words[index].find('=');
    command.environment.emplace_back(words[index].substr(0, equals), words[index].substr(equals + 1));
  }
  if (index == words.size()) return command;
  const std::string program = ProgramFile(words[index++]);
  for (; index < words.size(); ++index) {
    if (words[index] == "2>&1") continue;
    if (words[index] == ">") {
      if (++index == words.size()) return CommandLine{};
      command.outputFile = words[index];
    } else {
      command.arguments.push_back(words[index]);
    }
  }
  command.program = program;
  return command;
}

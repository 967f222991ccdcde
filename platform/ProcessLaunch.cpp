#include "platform/ProcessLaunch.h"

namespace platform {
namespace {

bool IsBlank(char16_t unit) { return unit == u' ' || unit == u'\t'; }

}  // namespace

std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine) {
  std::vector<std::u16string> arguments;
  const size_t length = commandLine.size();
  if (length == 0) return arguments;

  // The program name: a leading blank gives an empty one, as the C runtime does.
  size_t position = 0;
  std::u16string program;
  bool quoted = false;
  for (; position < length && (quoted || !IsBlank(commandLine[position])); ++position) {
    if (commandLine[position] == u'"') {
      quoted = !quoted;
    } else {
      program += commandLine[position];
    }
  }
  arguments.push_back(std::move(program));

  for (;;) {
    while (position < length && IsBlank(commandLine[position])) ++position;
    if (position == length) return arguments;
    std::u16string argument;
    quoted = false;
    while (position < length) {
      const char16_t character = commandLine[position];
      if (!quoted && IsBlank(character)) break;
      if (character == u'\\') {
        size_t backslashes = 0;
        while (position < length && commandLine[position] == u'\\') {
          ++backslashes;
          ++position;
        }
        // Backslashes are literal unless they stand before a quote: then pairs give one backslash
        // each and an odd one escapes the quote.
        if (position < length && commandLine[position] == u'"') {
          argument.append(backslashes / 2, u'\\');
          if (backslashes % 2 == 1) {
            argument += u'"';
            ++position;
          }
        } else {
          argument.append(backslashes, u'\\');
        }
        continue;
      }
      if (character == u'"') {
        // Inside quotes, a doubled quote is one literal quote.
        if (quoted && position + 1 < length && commandLine[position + 1] == u'"') {
          argument += u'"';
          position += 2;
          continue;
        }
        quoted = !quoted;
        ++position;
        continue;
      }
      argument += character;
      ++position;
    }
    arguments.push_back(std::move(argument));
  }
}

std::u16string QuoteArgument(std::u16string_view argument) {
  // Backslashes count only before a quote, so those are doubled and the quote itself escaped.
  std::u16string quoted = u"\"";
  size_t backslashes = 0;
  for (const char16_t character : argument) {
    if (character == u'\\') {
      ++backslashes;
      continue;
    }
    if (character == u'"') {
      quoted.append(2 * backslashes + 1, u'\\');
    } else {
      quoted.append(backslashes, u'\\');
    }
    backslashes = 0;
    quoted += character;
  }
  quoted.append(2 * backslashes, u'\\');
  quoted += u'"';
  return quoted;
}

}  // namespace platform

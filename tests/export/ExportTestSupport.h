#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"

// The file as the writer's text mode gives it: every "\n" of `text` becomes CR LF.
inline std::string WithCrLf(std::string_view text) {
  std::string file;
  for (const char character : text) {
    if (character == '\n') file += '\r';
    file += character;
  }
  return file;
}

// The file with the text of <created> replaced by "*", the one part that changes from run to run.
inline std::string MaskCreated(const std::string& file) {
  constexpr std::string_view kOpening = "<created>";
  const size_t begin = file.find(kOpening);
  const size_t end = file.find("</created>");
  if (begin == std::string::npos || end == std::string::npos || end < begin + kOpening.size()) return file;
  return file.substr(0, begin + kOpening.size()) + "*" + file.substr(end);
}

#ifdef _WIN32
// The independent readers (python-collada, Assimp) exist only for the Linux build. There the same
// documents are read, and the whole-file comparisons hold the bytes of both builds to each other.
inline void ExpectReadersAccept(const std::filesystem::path&, long, long, long, long) {}
#else
#include "tests/posix/export/IndependentReaders.h"
#endif

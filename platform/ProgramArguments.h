#pragma once

#include <string>
#include <vector>

// The program's command-line arguments as UTF-8 text, whatever the system's narrow code page.
namespace platform {

// The arguments, the program's own name first. `argc` and `argv` are main's: on POSIX they are
// already the bytes the caller passed and come back as they are; on Windows, where argv is in the
// ANSI code page and loses every letter it lacks, the wide command line is split instead.
std::vector<std::string> ReadProgramArguments(int argc, char** argv);

// ReadProgramArguments in the shape main's option parsers take: a count and zero-terminated texts
// followed by a null pointer, valid while the object lives.
class ProgramArguments {
public:
  ProgramArguments(int argc, char** argv);
  ProgramArguments(const ProgramArguments&) = delete;
  ProgramArguments& operator=(const ProgramArguments&) = delete;

  int count() const { return static_cast<int>(texts_.size()); }
  char** values() { return pointers_.data(); }

private:
  std::vector<std::string> texts_;
  std::vector<char*> pointers_;
};

}  // namespace platform

#include "platform/ProgramArguments.h"

namespace platform {

ProgramArguments::ProgramArguments(int argc, char** argv) : texts_(ReadProgramArguments(argc, argv)) {
  pointers_.reserve(texts_.size() + 1);
  for (std::string& text : texts_) pointers_.push_back(text.data());
  pointers_.push_back(nullptr);
}

}  // namespace platform

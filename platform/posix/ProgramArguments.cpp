#include "platform/ProgramArguments.h"

namespace platform {

std::vector<std::string> ReadProgramArguments(int argc, char** argv) { return {argv, argv + argc}; }

}  // namespace platform

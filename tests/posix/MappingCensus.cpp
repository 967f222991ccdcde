#include "tests/support/MappingCensus.h"

#include <filesystem>

#include "platform/posix/SharedMemoryObjects.h"

namespace {
constexpr const char* kSharedMemoryFolder = "/dev/shm";
}

bool MappingObjectExists(std::u16string_view name) {
  std::error_code ignored;
  return std::filesystem::exists(kSharedMemoryFolder + platform::posix::SharedMemoryObjectName(name), ignored);
}

size_t SweepAbandonedMappings() { return platform::posix::RemoveAbandonedSharedMemory(); }

std::vector<std::string> MappingObjectsContaining(std::u16string_view part) {
  // The escape works unit by unit behind the user's prefix, so the part's escape is a substring of
  // every name that holds the part.
  const std::string prefix = platform::posix::SharedMemoryObjectName(u"").substr(1);
  const std::string escaped = platform::posix::SharedMemoryObjectName(part).substr(prefix.size() + 1);
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(kSharedMemoryFolder)) {
    const std::string object = entry.path().filename().string();
    if (object.rfind(prefix, 0) == 0 && object.find(escaped, prefix.size()) != std::string::npos) found.push_back(object);
  }
  return found;
}

bool EndedCreatorsLeaveMappings() { return true; }

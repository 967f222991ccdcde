#include "tests/support/FileTimes.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr uint64_t kSecondsFrom1601To1970 = 11'644'473'600;

}  // namespace

bool SetLastWriteTime(const std::filesystem::path& path, uint64_t fileTime) {
  const timespec times[2] = {
      {0, UTIME_OMIT},
      {static_cast<time_t>(fileTime / kTicksPerSecond - kSecondsFrom1601To1970),
       static_cast<long>(fileTime % kTicksPerSecond * 100)},
  };
  return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

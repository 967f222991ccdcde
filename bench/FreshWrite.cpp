// tidelink-fresh-write: the floor under a first sync of the live link. Creates a fresh shared-memory
// object of BYTES bytes through the platform layer and writes BYTES bytes into it once (the first
// touch of every page and the copy), RUNS times, and prints one JSON line with each run's time and
// their median in milliseconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ProcessList.h"
#include "platform/SharedMemory.h"

int main(int argc, char** argv) {
  const unsigned long long bytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 0;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  if (bytes == 0 || runs < 1) {
    std::fprintf(stderr, "usage: tidelink-fresh-write BYTES [RUNS]\n");
    return 2;
  }
  // The source is touched beforehand, as the plug-in's combined meshes are.
  std::vector<unsigned char> source(bytes);
  for (size_t index = 0; index < source.size(); ++index) source[index] = static_cast<unsigned char>(index * 31);
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    const std::string name = "tidelink-fresh-write-" + std::to_string(platform::GetCurrentProcessId()) + "-" +
                             std::to_string(run);
    platform::SharedMemory mapping;
    const auto start = std::chrono::steady_clock::now();
    if (platform::SharedMemory::Create(std::u16string(name.begin(), name.end()), bytes, mapping) != 0) {
      std::fprintf(stderr, "tidelink-fresh-write: cannot create %llu bytes of shared memory\n", bytes);
      return 1;
    }
    std::memcpy(mapping.data(), source.data(), bytes);
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    mapping.Close();
  }
  std::vector<double> sorted = times;
  std::sort(sorted.begin(), sorted.end());
  std::string line = "{\"bytes\":" + std::to_string(bytes) + ",\"runs_ms\":[";
  for (size_t index = 0; index < times.size(); ++index) {
    if (index) line += ',';
    line += std::to_string(times[index]);
  }
  line += "],\"median_ms\":" + std::to_string(sorted[sorted.size() / 2]) + "}";
  std::printf("%s\n", line.c_str());
  return 0;
}

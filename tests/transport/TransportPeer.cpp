// A second process on a link document, standing in for the renderer's reading side:
//   peer read NAME               maps the document by name and prints its records and meshes
//   peer watch NAME              opens a renderer window, waits for one update, then reads
//   peer hold NAME MS release|die  takes the shared lock for MS milliseconds, then frees it or
//                                exits still holding it
//   peer windows CLASS:shown|hidden|owned ...  opens those windows, prints "ready", and
//                                keeps them until it is stopped
// It reads the mapping through byte offsets only, never through the writer's structs.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/MessageWindow.h"
#include "platform/ProcessList.h"
#include "platform/QuitSignal.h"
#include "platform/SharedMemory.h"

namespace {

std::u16string Utf16(const std::string& text) { return {text.begin(), text.end()}; }

uint32_t U32(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, 4);
  return value;
}

std::string Tag(const uint8_t* at) { return std::string(reinterpret_cast<const char*>(at), 4); }

std::string Text(const uint8_t* at, size_t units) {
  std::string text;
  for (size_t unit = 0; unit < units && (at[2 * unit] || at[2 * unit + 1]); ++unit) {
    text += static_cast<char>(at[2 * unit]);
  }
  return text;
}

// Sizes come from the document's own fields: a view may be larger than what its creator asked
// for (Windows rounds it to whole pages), so its size only bounds what may be read.
void PrintMesh(uint32_t ownerProcessId, uint32_t segment, uint32_t capacity) {
  char name[64];
  std::snprintf(name, sizeof(name), "TideLinkAPI/%u/%08X", ownerProcessId, segment);
  platform::SharedMemory mapping;
  if (platform::SharedMemory::Open(Utf16(name), mapping) != 0) {
    std::printf("  mesh %s missing\n", name);
    return;
  }
  if (mapping.size() < capacity) {
    std::printf("  mesh %s view %zu smaller than %u\n", name, mapping.size(), capacity);
    return;
  }
  const auto* bytes = static_cast<const uint8_t*>(mapping.data());
  const uint32_t vertices = U32(bytes), indices = U32(bytes + 4), sets = U32(bytes + 8);
  float firstX = 0;
  std::memcpy(&firstX, bytes + 12, 4);
  const uint32_t lastIndex = U32(bytes + 12 + 24 * vertices + 8 * sets * vertices + 4 * (indices - 1));
  std::printf("  mesh %s bytes %u counts %u %u %u x0 %g last-index %u\n", name, capacity,
              vertices, indices, sets, firstX, lastIndex);
}

int Read(const std::string& document) {
  platform::SharedMemory mapping;
  if (int error = platform::SharedMemory::Open(Utf16(document), mapping)) {
    std::printf("open failed %d\n", error);
    return 1;
  }
  const auto* base = static_cast<const uint8_t*>(mapping.data());
  const uint32_t owner = U32(base + 48), highWater = U32(base + 44), size = U32(base + 28);
  if (mapping.size() < size) {
    std::printf("view %zu smaller than %u\n", mapping.size(), size);
    return 1;
  }
  std::printf("%s version %u flags %u commits %u records %u high %u size %u\n", Tag(base).c_str(),
              U32(base + 16), U32(base + 12), U32(base + 196), U32(base + 40), highWater, size);
  for (uint32_t block = 0; block <= highWater; ++block) {
    const uint8_t* record = base + 2048 + 2048 * size_t{block};
    std::printf("%u %s id %u flags %x", block, Tag(record).c_str(), U32(record + 8),
                U32(record + 12));
    if (Tag(record) == "SRFC") std::printf(" name %s", Text(record + 24, 260).c_str());
    std::printf("\n");
    if (Tag(record) == "SRFC" && U32(record + 1924)) PrintMesh(owner, U32(record + 1924), U32(record + 1928));
  }
  return 0;
}

int Watch(const std::string& document) {
  platform::MessageWindow window;
  if (!platform::MessageWindow::Create({platform::GetCurrentProcessId(), 0, true, u"OmbrelStartWindow", u"Peer"}, window)) {
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  const auto message = window.Receive(std::chrono::seconds(10));
  if (!message) return 1;
  std::printf("message %x %llu %lld\n", message->message,
              static_cast<unsigned long long>(message->wParam),
              static_cast<long long>(message->lParam));
  return Read(document);
}

int Hold(const std::string& document, int milliseconds, bool release) {
  platform::SharedMemory mapping;
  if (platform::SharedMemory::Open(Utf16(document), mapping) != 0) return 1;
  std::atomic_ref<uint32_t> owner(static_cast<uint32_t*>(mapping.data())[6]);
  uint32_t expected = 0;
  if (!owner.compare_exchange_strong(expected, platform::GetCurrentProcessId())) return 1;
  std::printf("locked\n");
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  if (!release) std::_Exit(0);
  owner.store(0);
  return 0;
}

int Windows(int count, char** descriptions) {
  if (!platform::WatchQuitRequests()) return 1;
  std::vector<platform::MessageWindow> windows(static_cast<size_t>(count));
  platform::WindowHandle firstShown = 0;
  for (int index = 0; index < count; ++index) {
    const std::string description = descriptions[index];
    const size_t colon = description.rfind(':');
    const std::string kind = description.substr(colon + 1);
    platform::WindowAttributes attributes{platform::GetCurrentProcessId(), kind == "owned" ? firstShown : 0,
                                          kind != "hidden", Utf16(description.substr(0, colon)), u"Ombrel 12.0"};
    if (!platform::MessageWindow::Create(attributes, windows[static_cast<size_t>(index)])) return 1;
    if (kind == "shown" && !firstShown) firstShown = windows[static_cast<size_t>(index)].handle();
  }
  std::printf("ready\n");
  std::fflush(stdout);
  // Until asked to stop: a signal here, a close message on Windows, which its windows would ignore.
  while (!platform::PendingQuitRequest()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 2 ? argv[1] : "";
  if (mode == "read") return Read(argv[2]);
  if (mode == "watch") return Watch(argv[2]);
  if (mode == "windows") return Windows(argc - 2, argv + 2);
  if (mode == "hold" && argc > 4) return Hold(argv[2], std::atoi(argv[3]), argv[4] == std::string("release"));
  std::fprintf(stderr, "usage: peer read|watch|hold NAME [MS release|die] | peer windows CLASS:KIND...\n");
  return 2;
}

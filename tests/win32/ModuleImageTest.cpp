// The module as a file on disk, read as the Windows loader reads it: the names its export table
// offers a host, and the libraries its import table makes the loader find first. A MinGW runtime
// library among them would keep the module from loading on a machine without MinGW.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;

// A 64-bit PE file's export and import tables. Every offset is checked against the file, so a
// damaged file gives empty lists and `valid` false rather than a crash.
class PortableExecutable {
public:
  explicit PortableExecutable(const fs::path& file) {
    std::ifstream stream(file, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    const uint32_t header = Read32(0x3C);
    if (bytes_.size() < 2 || bytes_[0] != 'M' || bytes_[1] != 'Z' || Read32(header) != 0x00004550) return;
    const uint32_t sections = Read16(header + 6);
    const uint32_t optional = header + 24;
    if (Read16(optional) != 0x20B) return;  // PE32+
    const uint32_t sectionTable = optional + Read16(header + 20);
    for (uint32_t index = 0; index < sections; ++index) {
      const uint32_t entry = sectionTable + 40 * index;
      sections_.push_back({Read32(entry + 12), std::max(Read32(entry + 8), Read32(entry + 16)), Read32(entry + 20)});
    }
    ReadExports(Read32(optional + 112));
    ReadImports(Read32(optional + 120));
    valid = true;
  }

  bool valid = false;
  std::vector<std::string> exports;
  std::vector<std::string> imports;

private:
  struct Section {
    uint32_t address, size, fileOffset;
  };

  uint32_t Read16(uint64_t offset) const {
    if (offset + 2 > bytes_.size()) return 0;
    return uint8_t(bytes_[offset]) | uint32_t(uint8_t(bytes_[offset + 1])) << 8;
  }
  uint32_t Read32(uint64_t offset) const { return Read16(offset) | Read16(offset + 2) << 16; }

  // The file offset of a relative virtual address, 0 when no section holds it.
  uint64_t Offset(uint32_t address) const {
    for (const Section& section : sections_) {
      if (address >= section.address && address - section.address < section.size) {
        return uint64_t(section.fileOffset) + (address - section.address);
      }
    }
    return 0;
  }

  std::string Text(uint32_t address) const {
    std::string text;
    for (uint64_t offset = Offset(address); offset != 0 && offset < bytes_.size() && bytes_[offset] != 0; ++offset) {
      text += bytes_[offset];
    }
    return text;
  }

  void ReadExports(uint32_t directory) {
    if (directory == 0) return;
    const uint64_t table = Offset(directory);
    const uint32_t count = Read32(table + 24);
    const uint64_t names = Offset(Read32(table + 32));
    for (uint32_t index = 0; table != 0 && names != 0 && index < count; ++index) {
      exports.push_back(Text(Read32(names + 4 * uint64_t(index))));
    }
  }

  void ReadImports(uint32_t directory) {
    if (directory == 0) return;
    for (uint64_t entry = Offset(directory); entry != 0 && Read32(entry + 12) != 0; entry += 20) {
      imports.push_back(Text(Read32(entry + 12)));
    }
  }

  std::string bytes_;
  std::vector<Section> sections_;
};

class ModuleImageTest : public TestEnvironment {
protected:
  static PortableExecutable Module() { return PortableExecutable(binaryDirectory() / TIDELINK_MODULE_FILE_NAME); }
};

TEST_F(ModuleImageTest, TheModuleExportsOnlyItsThreeEntryPoints) {
  PortableExecutable module = Module();
  ASSERT_TRUE(module.valid);
  std::sort(module.exports.begin(), module.exports.end());
  EXPECT_EQ(module.exports,
            (std::vector<std::string>{"plugin_module_deinit", "plugin_module_main", "plugin_module_ver"}));
}

// Every library the module needs is one of the system's own; the MinGW runtime is linked in.
TEST_F(ModuleImageTest, TheModuleNeedsNoLibraryBeyondTheSystems) {
  const PortableExecutable module = Module();
  ASSERT_TRUE(module.valid);
  ASSERT_FALSE(module.imports.empty());
  const char* root = std::getenv("SystemRoot");
  ASSERT_NE(root, nullptr);
  const fs::path system = fs::path(root) / "System32";
  for (const std::string& library : module.imports) {
    EXPECT_TRUE(fs::exists(system / library)) << library << " is not a library of the system";
    std::string lower = library;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    EXPECT_EQ(lower.rfind("lib", 0), std::string::npos) << library << " is a MinGW runtime library";
  }
}

}  // namespace

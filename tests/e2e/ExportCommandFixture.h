#pragma once

// The export command of the stand-in host run as a real process, and what its file is checked
// against: the fixture of the export's end-to-end tests, on any platform and on POSIX alone.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "link/SettingsStore.h"
#include "platform/Registry.h"
#include "platform/SystemErrors.h"
#include "platform/Utf8Path.h"
#include "tests/e2e/HostBuild.h"
#include "tests/export/ExportTestSupport.h"
#include "tests/support/ExportLock.h"
#include "tests/support/TestEnvironment.h"

namespace fs = std::filesystem;

class ExportCommandFixture : public TestEnvironment {
protected:
  void SetUp() override {
    TestEnvironment::SetUp();
    out_ = scratch() / "out";
    fs::create_directories(out_);
  }

  const fs::path& out() const { return out_; }

  // Runs one host process. The export's temporary document has one fixed name on the machine, so
  // exports of tests running side by side (both builds, parallel CTest) would refuse each other:
  // a machine-wide lock lets one host export at a time.
  CommandResult Export(const std::string& arguments) {
    const ExportLock lock;
    return RunCommand((binaryDirectory() / "tidelink-host").string() + " export " + arguments);
  }

  // Writes the answers of the headless interface into a file and gives the option that uses it.
  std::string UiScript(const std::string& answers) {
    const fs::path file = scratch() / ("answers-" + std::to_string(++scripts_) + ".txt");
    std::ofstream(file) << answers << "\n";
    return "--ui-script '" + file.string() + "'";
  }

  // Stores a setting of the plug-in before the host starts, as the settings dialog would.
  static void StoreSetting(std::u16string_view name, uint32_t value) {
    platform::RegistryKey key;
    ASSERT_EQ(platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, SettingsStore::kKeyPath, key),
              platform::kErrorSuccess);
    ASSERT_EQ(key.SetValue(name, platform::kRegistryDword, &value, sizeof(value)), platform::kErrorSuccess);
  }

  static std::vector<std::string> Lines(const std::string& output, const std::string& prefix = "") {
    std::vector<std::string> lines;
    std::istringstream stream(output);
    for (std::string line; std::getline(stream, line);) {
      if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    }
    return lines;
  }

  static std::vector<std::string> MessageCaptions(const std::string& output) {
    std::vector<std::string> captions;
    for (const std::string& line : Lines(output, "ui message-box ")) {
      const auto caption = TextsBetween(line, "ui message-box \"", "\"");
      if (!caption.empty()) captions.push_back(caption.front());
    }
    return captions;
  }

  // Every text that follows `open` up to the next `close`, in order.
  static std::vector<std::string> TextsBetween(const std::string& text, const std::string& open,
                                               const std::string& close) {
    std::vector<std::string> found;
    for (size_t start = text.find(open); start != std::string::npos; start = text.find(open, start)) {
      start += open.size();
      const size_t end = text.find(close, start);
      if (end == std::string::npos) break;
      found.push_back(text.substr(start, end - start));
      start = end + close.size();
    }
    return found;
  }

  static size_t Count(const std::vector<std::string>& texts, const std::string& wanted) {
    return size_t(std::count(texts.begin(), texts.end(), wanted));
  }

  // Whatever ended the export, the host is usable again: its window enabled, the progress window
  // gone, every handler and notification unregistered, every service reference released.
  static void ExpectEndedCleanly(const CommandResult& result) {
    const auto window = Lines(result.output, "ui host-window ");
    if (!window.empty()) {
      EXPECT_EQ(window.back(), "ui host-window enabled") << result.output;
    }
    EXPECT_EQ(Lines(result.output, "ui progress \"").size(), Lines(result.output, "ui progress closed").size())
        << result.output;
    EXPECT_EQ(Lines(result.output, "scene handler registered").size(),
              Lines(result.output, "scene handler unregistered").size())
        << result.output;
    EXPECT_EQ(Lines(result.output, "notification callback registered").size(),
              Lines(result.output, "notification callback unregistered").size())
        << result.output;
    EXPECT_TRUE(Lines(result.output, "warning:").empty()) << result.output;
  }

  static std::string EndLine(const CommandResult& result, int number = 1) {
    const auto lines = Lines(result.output, "export " + std::to_string(number) + ": ");
    return lines.empty() ? std::string() : lines.back();
  }

  // The export node ids of a file: its geometries other than the marker, as numbers.
  static std::vector<unsigned long> NodeIds(const fs::path& file) {
    std::vector<unsigned long> ids;
    const std::string text = ReadFile(file);
    for (const std::string& id : TextsBetween(text, "<geometry id=\"", "\"")) {
      if (id.empty() || id.find_first_not_of("0123456789ABCDEF") != std::string::npos) continue;  // the marker
      ids.push_back(std::stoul(id, nullptr, 16));
    }
    std::sort(ids.begin(), ids.end());
    return ids;
  }

  // Every image the file names lies in its textures folder, which holds nothing else.
  static void ExpectTexturesPresent(const fs::path& file, long images) {
    const std::string text = ReadFile(file);
    std::set<std::string> named;
    for (const std::string& element : TextsBetween(text, "<image id=", "</image>")) {
      const auto source = TextsBetween(element, "<init_from>", "</init_from>");
      ASSERT_EQ(source.size(), 1u) << element;
      const fs::path texture = file.parent_path() / source.front();
      named.insert(texture.lexically_normal().string());
      EXPECT_TRUE(fs::is_regular_file(texture)) << texture;
      EXPECT_GT(fs::file_size(texture), 0u) << texture;
    }
    EXPECT_EQ(long(named.size()), images) << file;
    const fs::path folder = file.parent_path() / (file.stem().string() + "_Textures");
    // A drawing without images may leave the folder out.
    if (images == 0 && !fs::exists(folder)) return;
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    long files = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
      ++files;
      EXPECT_TRUE(named.count(entry.path().lexically_normal().string())) << "not named by the file: " << entry.path();
    }
    EXPECT_EQ(files, images);
  }

  fs::path out_;
  int scripts_ = 0;
};

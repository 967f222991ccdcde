// Whatever a user imports reaches the plug-in: every file of the test models package (valid
// models, broken ones, textures, notes) goes through the export command, and a sample of them
// through the live link, each host run under a time limit of its own. None may crash or hang the
// host; each run ends with a file, a message or the host refusing the file. Only the sanitizer
// build sweeps: there a fault shows even when it does not crash.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/HostBuild.h"
#include "tests/support/BackgroundProcess.h"
#include "tests/support/ExportLock.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;

const fs::path kModels = "/usr/share/assimp/models";
// Far above the slowest model under the sanitizers (about 10 s); the host's own timeout comes
// first, so the kill only ever ends a hang.
constexpr int kHostTimeoutSeconds = 60;
constexpr int kKillAfterSeconds = 90;
// The link keeps a renderer busy for a few seconds per file; every seventh file is enough to
// meet each folder of the package.
constexpr size_t kLinkEvery = 7;

std::vector<fs::path> ModelFiles() {
  std::vector<fs::path> files;
  std::error_code error;
  for (fs::recursive_directory_iterator entry(kModels, error), end; !error && entry != end; entry.increment(error)) {
    if (entry->is_regular_file()) files.push_back(entry->path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string Quoted(const fs::path& path) {
  std::string quoted = "'";
  for (const char character : path.string()) quoted += character == '\'' ? std::string("'\\''") : std::string(1, character);
  return quoted + "'";
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class BadDrawingsTest : public TestEnvironment {
protected:
  void SetUp() override {
    TestEnvironment::SetUp();
#ifndef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sweep runs in the sanitizer build, where a fault in the host is reported";
#endif
    if (!kHostReadsModels) GTEST_SKIP() << kWithoutModelImport;
    files_ = ModelFiles();
    if (files_.empty()) GTEST_SKIP() << kModels << " is empty or missing (package assimp-testmodels)";
    std::ofstream(scratch() / "answers.txt") << "message no\n";
  }

  // The importer library's own leaks (tests/sanitizers/lsan.supp) are not the host's.
  static std::string Program(const std::string& name) {
    return std::string("env LSAN_OPTIONS=suppressions=") + LSAN_SUPPRESSIONS + " " + (binaryDirectory() / name).string();
  }

  // How one host run ended: "file", "message", "refused", or what went wrong.
  static std::string Outcome(const CommandResult& result, const std::string& endPrefix, bool wroteFile) {
    for (const char* report : {"AddressSanitizer", "LeakSanitizer", "runtime error:"}) {
      if (Contains(result.output, report)) return std::string("sanitizer report: ") + report;
    }
    if (result.status == 137 || result.status == 124) return "hang: killed after the time limit";
    if (result.status == 0) return wroteFile ? "file" : "exit 0 without a file";
    if (result.status != 1) return "exit status " + std::to_string(result.status);
    if (Contains(result.output, endPrefix + "ended with \"") || Contains(result.output, endPrefix + "failed: ")) {
      return "message";
    }
    // The host refuses a file it cannot read as a drawing before the plug-in sees anything.
    if (Contains(result.output, "drawing: ") && !Contains(result.output, "scene handler registered")) return "refused";
    return "ended without a file, a message or a refusal";
  }

  void Expect(const std::string& command, const fs::path& file, const std::string& outcome,
              const CommandResult& result) {
    ++tally_[outcome];
    const bool good = outcome == "file" || outcome == "message" || outcome == "refused";
    if (!good) failures_.push_back(command + " " + file.string() + ": " + outcome + "\n" + result.output);
  }

  void Report(const std::string& command) {
    std::string counts;
    int runs = 0;
    for (const auto& [outcome, count] : tally_) {
      counts += " " + outcome + " " + std::to_string(count) + ";";
      runs += count;
    }
    std::printf("%s of %d files:%s\n", command.c_str(), runs, counts.c_str());
    for (const std::string& failure : failures_) ADD_FAILURE() << failure;
  }

  std::vector<fs::path> files_;
  std::map<std::string, int> tally_;
  std::vector<std::string> failures_;
};

TEST_F(BadDrawingsTest, EveryTestModelExportsToAFileOrEndsWithAMessageOrARefusal) {
  const fs::path out = scratch() / "model.dae";
  for (const fs::path& file : files_) {
    fs::remove(out);
    CommandResult result;
    {
      const ExportLock lock;
      result = RunCommand("/usr/bin/timeout -s KILL " + std::to_string(kKillAfterSeconds) + " " + Program("tidelink-host") +
                          " export --timeout " + std::to_string(kHostTimeoutSeconds) + " --drawing " + Quoted(file) + " -o " +
                          Quoted(out));
    }
    const bool wrote = fs::is_regular_file(out) && Contains(result.output, "export 1: complete: ");
    Expect("export", file, Outcome(result, "export 1: ", wrote), result);
  }
  Report("export");
}

TEST_F(BadDrawingsTest, EverySeventhTestModelLinksAndIsMirroredOrEndsWithAMessageOrARefusal) {
  BackgroundProcess renderer(Program("Ombrel.exe") + " --seconds 3600");
  ASSERT_TRUE(Contains(renderer.ReadLine(), "is waiting for TideLink"));
  for (size_t index = 0; index < files_.size(); index += kLinkEvery) {
    const fs::path& file = files_[index];
    const CommandResult result =
        RunCommand("/usr/bin/timeout -s KILL " + std::to_string(kKillAfterSeconds) + " " + Program("tidelink-host") +
                   " link --timeout " + std::to_string(kHostTimeoutSeconds) + " --ui-script " +
                   Quoted(scratch() / "answers.txt") + " --document " + Quoted(scratch() / "model.vwx") + " --drawing " +
                   Quoted(file));
    Expect("link", file, Outcome(result, "link: ", Contains(result.output, "link: the drawing is mirrored")), result);
  }
  Report("link");
  EXPECT_EQ(renderer.Stop(), 0) << "the renderer did not survive the models";
}

}  // namespace

// The module as a file on disk: what its dynamic symbol table offers to a host.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TestEnvironment.h"

namespace {

class ModuleSymbolsTest : public TestEnvironment {};

TEST_F(ModuleSymbolsTest, TheModuleExportsOnlyItsThreeEntryPoints) {
  const std::string module = (binaryDirectory() / TIDELINK_MODULE_FILE_NAME).string();
  const CommandResult result = RunCommand("/usr/bin/nm -D --defined-only " + module);
  ASSERT_EQ(result.status, 0) << result.output;
  std::vector<std::string> symbols;
  const std::regex symbolLine(R"(^[0-9a-f]+ [A-Za-z] (\S+)$)");
  std::smatch match;
  std::istringstream lines(result.output);
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_match(line, match, symbolLine)) symbols.push_back(match[1]);
  }
  // Sanitizer builds add their own runtime hooks; everything else must be ours.
  std::erase_if(symbols, [](const std::string& name) {
    return name.rfind("__asan", 0) == 0 || name.rfind("__ubsan", 0) == 0 || name.rfind("__sanitizer", 0) == 0;
  });
  std::sort(symbols.begin(), symbols.end());
  EXPECT_EQ(symbols, (std::vector<std::string>{"plugin_module_deinit", "plugin_module_main", "plugin_module_ver"}));
}

}  // namespace

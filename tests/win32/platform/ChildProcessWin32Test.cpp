// Programs started with CreateProcessW: arguments arrive exactly, output goes where asked, and the
// exit status comes back.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/ProcessLaunch.h"
#include "platform/TextConversion.h"
#include "tests/support/TestEnvironment.h"
#include "tests/win32/platform/SelfProcess.h"

namespace {

using namespace std::chrono_literals;

// Each argument as its UTF-16 units in hexadecimal, so that nothing is lost on the way out.
std::string Hex(std::u16string_view text) {
  std::string hex;
  char unit[5];
  for (const char16_t character : text) {
    std::snprintf(unit, sizeof(unit), "%04x", static_cast<unsigned>(character));
    hex += unit;
  }
  return hex;
}

// The other process: prints the arguments after its gtest ones as the system's parser splits them.
TEST(ChildProcessWin32Child, DISABLED_PrintArguments) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  ASSERT_TRUE(arguments);
  for (int index = 3; index < count; ++index) {
    std::printf("argument:%s\n", Hex(reinterpret_cast<const char16_t*>(arguments[index])).c_str());
  }
  std::printf("arguments:end\n");
  LocalFree(arguments);
}

TEST(ChildProcessWin32Child, DISABLED_WriteOutputAndErrors) {
  std::fputs("first to the output\n", stdout);
  std::fflush(stdout);
  std::fputs("then an error\n", stderr);
  std::fflush(stderr);
  std::fputs("last to the output\n", stdout);
  std::fflush(stdout);
}

TEST(ChildProcessWin32Child, DISABLED_ExitWithCode) { ExitProcess(0xC0000135); }

TEST(ChildProcessWin32Child, DISABLED_WaitForEver) { Sleep(INFINITE); }

class ChildProcessWin32Test : public TestEnvironment {};

TEST_F(ChildProcessWin32Test, AwkwardArgumentsReachTheChildExactly) {
  const std::vector<std::u16string> arguments{
      u"", u"two words", u"trailing\\", u"say \"hi\"", u"\\\"\\", u"tab\there", u"C:\\Program Files\\Ombrel\\",
      u"\u00e9t\u00e9 \u6f22\u5b57 \U0001F600", u"%PATH%", u"a&b|c"};
  std::vector<std::u16string> extra = arguments;
  platform::ChildProcess child;
  ASSERT_TRUE(StartSelf("ChildProcessWin32Child.DISABLED_PrintArguments", extra, child));
  for (const std::u16string& expected : arguments) {
    EXPECT_EQ(ReadLineStartingWith(child, "argument:"), Hex(expected)) << platform::Utf8FromUtf16(expected);
  }
  EXPECT_EQ(ReadLineStartingWith(child, "argument"), "s:end") << "no argument more";
  EXPECT_EQ(child.Wait(60s), 0);
}

TEST_F(ChildProcessWin32Test, OutputAndErrorsGoToTheFileInTheOrderWritten) {
  const std::filesystem::path file = scratch() / "output.txt";
  {
    std::ofstream earlier(file);
    earlier << "left from an earlier run, longer than anything the child writes\n";
  }
  const auto self = platform::GetProcessImagePath(platform::GetCurrentProcessId());
  ASSERT_TRUE(self);
  platform::ChildProcess child;
  ASSERT_TRUE(platform::ChildProcess::StartWithOutputFile(
      *self, {u"--gtest_filter=ChildProcessWin32Child.DISABLED_WriteOutputAndErrors", u"--gtest_also_run_disabled_tests"},
      platform::Utf16FromUtf8(file.string()), child));
  EXPECT_EQ(child.Wait(60s), 0);
  const std::string written = ReadFile(file);
  const size_t first = written.find("first to the output"), error = written.find("then an error"),
               last = written.find("last to the output");
  ASSERT_NE(last, std::string::npos) << written;
  EXPECT_LT(first, error) << written;
  EXPECT_LT(error, last) << written;
  EXPECT_EQ(written.find("earlier run"), std::string::npos) << "the file is emptied first";
  EXPECT_FALSE(platform::ChildProcess::StartWithOutputFile(*self, {}, u"Z:\\no such folder\\out.txt", child));
}

TEST_F(ChildProcessWin32Test, ExitCodesComeBackWholeAndAnEndedProgramIsTerminated) {
  platform::ChildProcess exiting;
  ASSERT_TRUE(StartSelf("ChildProcessWin32Child.DISABLED_ExitWithCode", {}, exiting));
  EXPECT_EQ(exiting.Wait(60s), static_cast<int>(0xC0000135)) << "Windows exit codes have 32 bits";
  EXPECT_FALSE(exiting.Terminate()) << "it had ended already";

  platform::ChildProcess waiting;
  ASSERT_TRUE(StartSelf("ChildProcessWin32Child.DISABLED_WaitForEver", {}, waiting));
  EXPECT_FALSE(waiting.Wait(0ms));
  EXPECT_TRUE(waiting.Terminate());
  EXPECT_EQ(waiting.Wait(60s), platform::kExitStatusTerminated);
  EXPECT_EQ(waiting.Wait(0ms), platform::kExitStatusTerminated) << "the status stays";
  EXPECT_FALSE(platform::IsProcessAlive(waiting.processId()));

  platform::ChildProcess killed;
  ASSERT_TRUE(StartSelf("ChildProcessWin32Child.DISABLED_WaitForEver", {}, killed));
  EXPECT_TRUE(platform::IsProcessAlive(killed.processId()));
  EXPECT_TRUE(platform::KillProcess(killed.processId()));
  EXPECT_TRUE(killed.Wait(60s));
  EXPECT_FALSE(platform::IsProcessAlive(killed.processId()));
}

TEST_F(ChildProcessWin32Test, CommandsRunThroughTheInterpreterWithTheLineAsGiven) {
  platform::ChildProcess child;
  ASSERT_TRUE(platform::ChildProcess::StartCommand(u"echo \"quoted words\" & exit /b 3", true, child));
  std::string output;
  char buffer[256];
  while (const size_t count = child.ReadOutput(buffer, sizeof(buffer))) output.append(buffer, count);
  EXPECT_EQ(child.Wait(60s), 3);
  EXPECT_NE(output.find("\"quoted words\""), std::string::npos) << output;
}

TEST_F(ChildProcessWin32Test, ALaunchedProgramStartsInItsFolderWithTheLineAsBuilt) {
  const auto self = platform::GetProcessImagePath(platform::GetCurrentProcessId());
  ASSERT_TRUE(self);
  const std::filesystem::path folder = scratch() / "Ombrel folder";
  std::filesystem::create_directories(folder);
  // The interpreter writes its current folder and its own line; it reads the line unsplit, so
  // what it prints is what CreateProcessW was given.
  const std::u16string interpreter = platform::Utf16FromUtf8(
      (std::filesystem::path(std::getenv("SystemRoot") ? std::getenv("SystemRoot") : "C:\\windows") / "system32" /
       "cmd.exe")
          .string());
  ASSERT_TRUE(platform::LaunchProcess(interpreter, u"cmd /d /c \"cd > here.txt\"",
                                      platform::Utf16FromUtf8(folder.string()), platform::kShowMaximized));
  for (int attempt = 0; attempt < 6000 && ReadFile(folder / "here.txt").empty(); ++attempt) Sleep(10);
  EXPECT_EQ(ReadFile(folder / "here.txt"), folder.string() + "\r\n");
  EXPECT_FALSE(platform::LaunchProcess(u"Z:\\nowhere\\Ombrel.exe", u"Ombrel.exe", u"", platform::kShowNormal));
}

}  // namespace

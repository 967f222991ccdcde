#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "tests/support/BackgroundProcess.h"
#include "tests/support/TestEnvironment.h"

// The live link's end-to-end set-up: a renderer installed in the scratch folder (which the
// plug-in then finds), answers for the plug-in's questions, the link command on the built-in
// sample drawing, and the renderer's history checked against the host's account of each step.
class LinkFixture : public TestEnvironment {
protected:
  void SetUp() override;
  // Also ends the renderers that the plug-in launched, which outlive the host.
  void TearDown() override;

  static std::string Program(const std::string& name);
  std::filesystem::path Write(const std::string& name, const std::string& text);

  // Where the renderer's output goes: to a file of its own, or to a pipe that the test reads to
  // its end (what nobody reads fills the pipe and blocks the renderer).
  enum class RendererOutput { kFile, kRead };
  // Ombrel.exe beside the host, appending every update to `history` (historyPath() when empty);
  // ready once it waits. `environment` goes before the program, as NAME=value words.
  std::unique_ptr<BackgroundProcess> StartRenderer(const std::string& options = "",
                                                   const std::filesystem::path& history = {},
                                                   const std::string& environment = "",
                                                   RendererOutput output = RendererOutput::kFile);
  // The link command line on the built-in sample with the test's answers, writing the host's
  // account of each step to `expected` (expectedPath() when empty).
  std::string LinkCommandLine(const std::string& options, const std::filesystem::path& expected = {}) const;
  CommandResult Link(const std::string& options) { return RunCommand(LinkCommandLine(options)); }
  std::string Document() const { return " --document " + document_.string(); }

  std::filesystem::path historyPath() const { return scratch() / "history.jsonl"; }
  std::filesystem::path expectedPath() const { return scratch() / "expected.jsonl"; }

  // Every step the host reports with the link running must appear among the renderer's updates,
  // in order.
  void ExpectMirroredInOrder();

  std::filesystem::path document_;

private:
  int renderers_ = 0;  // started so far, each writing to a file of its own
};

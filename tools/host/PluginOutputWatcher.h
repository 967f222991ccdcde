#pragma once

#include <chrono>
#include <mutex>
#include <streambuf>
#include <string>
#include <vector>

// Watches the lines the plug-in's headless interface prints on standard output ("ui ..."), as a
// person at the screen would: the progress texts, the message boxes and the save dialogs, each
// with the moment it appeared. Installed on std::cout for its lifetime; every line still reaches the terminal.
class PluginOutputWatcher final : private std::streambuf {
public:
  using Clock = std::chrono::steady_clock;
  struct Event {
    std::string text;  // the progress text, or the message box's or save dialog's caption
    Clock::time_point time;
  };

  PluginOutputWatcher();
  ~PluginOutputWatcher() override;
  PluginOutputWatcher(const PluginOutputWatcher&) = delete;
  PluginOutputWatcher& operator=(const PluginOutputWatcher&) = delete;

  // Forgets what was seen, for the next command.
  void Clear();
  std::vector<Event> progressTexts() const;
  std::vector<Event> messageBoxes() const;
  std::vector<Event> saveDialogs() const;

private:
  int overflow(int character) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override;
  void Take(char character);
  void LineEnded();

  std::streambuf* const terminal_;
  mutable std::mutex mutex_;
  std::string line_;
  std::vector<Event> progressTexts_;
  std::vector<Event> messageBoxes_;
  std::vector<Event> saveDialogs_;
};

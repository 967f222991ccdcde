#include "tools/host/PluginOutputWatcher.h"

#include <iostream>
#include <string_view>

namespace {

constexpr std::string_view kProgressText = "ui progress-text ";
constexpr std::string_view kMessageBox = "ui message-box ";
constexpr std::string_view kSaveDialog = "ui save-dialog ";

// The first quoted field of `rest`, with the interface's backslash escapes undone.
std::string FirstQuoted(std::string_view rest) {
  std::string text;
  if (rest.empty() || rest.front() != '"') return text;
  for (size_t at = 1; at < rest.size() && rest[at] != '"'; ++at) {
    if (rest[at] == '\\' && at + 1 < rest.size()) {
      ++at;
      text += rest[at] == 'n' ? '\n' : rest[at];
    } else {
      text += rest[at];
    }
  }
  return text;
}

}  // namespace

PluginOutputWatcher::PluginOutputWatcher() : terminal_(std::cout.rdbuf(this)) {}

PluginOutputWatcher::~PluginOutputWatcher() {
  std::cout.flush();
  std::cout.rdbuf(terminal_);
}

void PluginOutputWatcher::Clear() {
  std::lock_guard lock(mutex_);
  progressTexts_.clear();
  messageBoxes_.clear();
  saveDialogs_.clear();
}

std::vector<PluginOutputWatcher::Event> PluginOutputWatcher::progressTexts() const {
  std::lock_guard lock(mutex_);
  return progressTexts_;
}

std::vector<PluginOutputWatcher::Event> PluginOutputWatcher::messageBoxes() const {
  std::lock_guard lock(mutex_);
  return messageBoxes_;
}

std::vector<PluginOutputWatcher::Event> PluginOutputWatcher::saveDialogs() const {
  std::lock_guard lock(mutex_);
  return saveDialogs_;
}

int PluginOutputWatcher::overflow(int character) {
  if (character == traits_type::eof()) return traits_type::not_eof(character);
  std::lock_guard lock(mutex_);
  Take(static_cast<char>(character));
  return terminal_->sputc(static_cast<char>(character));
}

std::streamsize PluginOutputWatcher::xsputn(const char* text, std::streamsize count) {
  std::lock_guard lock(mutex_);
  for (std::streamsize at = 0; at < count; ++at) Take(text[at]);
  return terminal_->sputn(text, count);
}

int PluginOutputWatcher::sync() { return terminal_->pubsync(); }

void PluginOutputWatcher::Take(char character) {
  if (character != '\n') {
    line_ += character;
    return;
  }
  LineEnded();
  line_.clear();
}

void PluginOutputWatcher::LineEnded() {
  const std::string_view line = line_;
  if (line.starts_with(kProgressText)) {
    progressTexts_.push_back({FirstQuoted(line.substr(kProgressText.size())), Clock::now()});
  } else if (line.starts_with(kMessageBox)) {
    messageBoxes_.push_back({FirstQuoted(line.substr(kMessageBox.size())), Clock::now()});
  } else if (line.starts_with(kSaveDialog)) {
    saveDialogs_.push_back({FirstQuoted(line.substr(kSaveDialog.size())), Clock::now()});
  }
}

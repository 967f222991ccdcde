#include "tools/host/OpenDrawings.h"

#include <algorithm>

#include "tools/host/HostConsole.h"

OpenDrawings::OpenDrawings(NotificationService& notifications, std::u16string firstFileName)
    : notifications_(notifications), fileNames_{std::move(firstFileName)}, active_(0), first_(0) {}

bool OpenDrawings::IsFirstActive() {
  std::lock_guard lock(mutex_);
  return first_ && active_ == first_;
}

TXString OpenDrawings::GetActiveDocumentFileName() { return TXString(ActiveFileName().value_or(u"")); }

std::optional<std::u16string> OpenDrawings::ActiveFileName() {
  std::lock_guard lock(mutex_);
  if (!active_) return std::nullopt;
  return fileNames_[*active_];
}

void OpenDrawings::Activate(const std::u16string& fileName) {
  size_t index = 0;
  {
    std::lock_guard lock(mutex_);
    const auto found = std::find(fileNames_.begin(), fileNames_.end(), fileName);
    index = size_t(found - fileNames_.begin());
    if (found == fileNames_.end()) fileNames_.push_back(fileName);
  }
  ActivateIndex(index);
}

bool OpenDrawings::ActivatePrevious() {
  std::optional<size_t> previous;
  {
    std::lock_guard lock(mutex_);
    previous = previous_;
  }
  if (!previous) return false;
  ActivateIndex(*previous);
  return true;
}

void OpenDrawings::ActivateIndex(size_t index) {
  std::u16string fileName;
  {
    std::lock_guard lock(mutex_);
    if (active_ == index) return;
    previous_ = active_;
    active_ = index;
    fileName = fileNames_[index];
  }
  HostConsole::PrintLine(u"drawing \"" + fileName + u"\" is active");
  notifications_.Post(kDocumentChangedCode, 0);
}

bool OpenDrawings::SaveActive(const std::u16string& fileName) {
  {
    std::lock_guard lock(mutex_);
    if (!active_) return false;
    fileNames_[*active_] = fileName;
  }
  HostConsole::PrintLine(u"drawing saved as \"" + fileName + u"\"");
  notifications_.Post(kDocumentSavedCode, 0);
  return true;
}

bool OpenDrawings::CloseActive() {
  std::u16string fileName;
  {
    std::lock_guard lock(mutex_);
    if (!active_) return false;
    fileName = fileNames_[*active_];
  }
  HostConsole::PrintLine(u"drawing \"" + fileName + u"\" closes");
  notifications_.Post(kDocumentClosingCode, 0);
  std::optional<size_t> next;
  {
    std::lock_guard lock(mutex_);
    const size_t closed = *active_;
    fileNames_.erase(fileNames_.begin() + long(closed));
    // Indexes after the closed one move down by one.
    const auto shifted = [&](std::optional<size_t> index) -> std::optional<size_t> {
      if (!index || *index == closed) return std::nullopt;
      return *index > closed ? *index - 1 : *index;
    };
    next = shifted(previous_);
    first_ = shifted(first_);
    if (!next && !fileNames_.empty()) next = fileNames_.size() - 1;
    active_.reset();
    previous_.reset();
  }
  if (next) ActivateIndex(*next);
  return true;
}

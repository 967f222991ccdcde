#include "ui/ExportFileName.h"

#include "platform/Path.h"

namespace ui {
namespace {

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

void AppendExportExtension(std::u16string& name) {
  name += u'.';
  name += kExportFileExtension;
}

void CutToFileBuffer(std::u16string& name) {
  constexpr size_t kCapacity = kFileBufferLength - 1;
  if (name.size() <= kCapacity) return;
  name.resize(kCapacity);
  if (IsHighSurrogate(name.back())) name.pop_back();
}

}  // namespace

std::vector<FileFilter> ExportFileFilters(std::u16string_view daeFilesText, std::u16string_view allFilesText) {
  return {{std::u16string(daeFilesText), u"*.dae"}, {std::u16string(allFilesText), u"*.*"}};
}

std::u16string PrepareExportFileName(std::u16string_view defaultName, std::u16string_view initialFolder) {
  const std::u16string_view stem = platform::WithoutExtension(defaultName);
  std::u16string name(initialFolder.empty() ? stem : platform::FileNameOf(stem));
  AppendExportExtension(name);
  CutToFileBuffer(name);
  return name;
}

std::u16string OfferedPath(std::u16string_view initialFolder, std::u16string_view fileName) {
  if (initialFolder.empty()) return std::u16string(fileName);
  return platform::JoinPath(initialFolder, fileName);
}

std::u16string CompleteChosenPath(std::u16string_view chosenPath) {
  std::u16string path(chosenPath);
  if (!path.empty() && path.find(u'.') == std::u16string::npos) AppendExportExtension(path);
  return path;
}

}  // namespace ui

#include "ui/DialogResources.h"

#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace ui {
namespace {

constexpr Size kAboutPictureFileSize{440, 560};
constexpr std::u16string_view kFontFace = u"MS Shell Dlg";
constexpr int kBold = 700;
constexpr int kTrueTypePrecision = 4;

std::optional<std::u16string> ExistingFile(std::u16string_view folder, std::u16string_view name) {
  if (folder.empty()) return std::nullopt;
  std::u16string path = platform::JoinPath(folder, name);
  const auto attributes = platform::QueryFileAttributes(path);
  if (!attributes || attributes->isDirectory) return std::nullopt;
  return path;
}

std::optional<Picture> LoadPicture(std::u16string_view folder, std::u16string_view name, Size fileSize,
                                   Size shownSize) {
  auto path = ExistingFile(folder, name);
  if (!path) return std::nullopt;
  return Picture{std::move(*path), fileSize, shownSize};
}

Picture ModulePicture(int resourceId, Size fileSize, Size shownSize) { return {u"", fileSize, shownSize, resourceId}; }

FontDescription BoldFont(int points, bool underline, const DisplayMetrics& metrics) {
  return {std::u16string(kFontFace), FontHeight(points, metrics), kBold, underline, kTrueTypePrecision};
}

}  // namespace

DialogResources DialogResources::Load(std::u16string_view folder, const DisplayMetrics& metrics, bool inModule) {
  const Size smallIconSize{metrics.smallIconSize, metrics.smallIconSize};
  if (inModule) {
    return {ModulePicture(kIconResource, smallIconSize, smallIconSize),
            ModulePicture(kAboutPictureResource, kAboutPictureFileSize, AboutPictureSize(metrics)),
            BoldFont(12, false, metrics), BoldFont(10, true, metrics)};
  }
  // The icon file holds several sizes; the backend takes the one that fits.
  return {LoadPicture(folder, kIconFile, smallIconSize, smallIconSize),
          LoadPicture(folder, kAboutPictureFile, kAboutPictureFileSize, AboutPictureSize(metrics)),
          BoldFont(12, false, metrics), BoldFont(10, true, metrics)};
}

}  // namespace ui

#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ui/DisplayMetrics.h"

// The pictures and fonts the dialogs show, as descriptions a backend renders.
namespace ui {

// A picture of the module, shown at width × height pixels; the backend stretches it smoothly when
// that differs from the picture's own size. A file beside the module, or, where the module
// carries its pictures as resources, the resource of that number.
struct Picture {
  std::u16string path;
  Size fileSize;
  Size shownSize;
  int resourceId = 0;
  bool IsScaled() const { return !(fileSize == shownSize); }
  bool operator==(const Picture&) const = default;
};

struct FontDescription {
  std::u16string face;
  int height = 0;  // negative: character height in pixels
  int weight = 400;
  bool underline = false;
  int outputPrecision = 0;
  bool operator==(const FontDescription&) const = default;
};

struct Colour {
  uint8_t red = 0, green = 0, blue = 0;
  bool operator==(const Colour&) const = default;
};

// File names of the module's own pictures, beside the module.
inline constexpr std::u16string_view kAboutPictureFile = u"about_107.png";
inline constexpr std::u16string_view kIconFile = u"icon_110.ico";
// The same pictures as resources of the module, where it carries them.
inline constexpr int kAboutPictureResource = 107;
inline constexpr int kIconResource = 110;

struct DialogResources {
  std::optional<Picture> smallIcon;     // the icon at the small icon size; none when missing
  std::optional<Picture> aboutPicture;  // scaled for the screen; none when missing
  FontDescription titleFont;            // bold, 12 pt
  FontDescription linkFont;             // bold and underlined, 10 pt

  // Looks the pictures up in `folder`, or takes the module's own resources when `inModule`, and
  // sizes pictures and fonts for the screen.
  static DialogResources Load(std::u16string_view folder, const DisplayMetrics& metrics, bool inModule = false);
};

}  // namespace ui

#include "transport/TextureSlot.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <optional>

#include "platform/FileSystem.h"
#include "platform/ImageEncoder.h"
#include "platform/Path.h"
#include "transport/UriEscape.h"

namespace {

constexpr uint32_t kBitmapHeaderSize = 54;
constexpr uint32_t kInfoHeaderSize = 40;

std::atomic<uint64_t> slotCounter{0};
std::atomic<uint64_t> imageCounter{0};

void Put16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
  for (int byte = 0; byte < 4; ++byte) at[byte] = static_cast<uint8_t>(value >> (8 * byte));
}

// Pixel bytes of the image; nothing when its bitmap file would not fit the format's 32-bit
// fields (width and the negated height are signed).
std::optional<uint32_t> PixelBytes(uint64_t width, uint64_t height, uint32_t bytesPerPixel) {
  constexpr uint64_t kMaximumSide = std::numeric_limits<int32_t>::max();
  constexpr uint64_t kMaximumPixelBytes = std::numeric_limits<uint32_t>::max() - kBitmapHeaderSize;
  if (width > kMaximumSide || height > kMaximumSide) return std::nullopt;
  const uint64_t bytes = width * height * bytesPerPixel;  // sides below 2^31: cannot wrap
  if (bytes > kMaximumPixelBytes) return std::nullopt;
  return static_cast<uint32_t>(bytes);
}

void WriteBitmapHeader(uint8_t* file, uint32_t width, uint32_t height, uint32_t pixelBytes,
                       bool hasAlpha) {
  std::memset(file, 0, kBitmapHeaderSize);
  file[0] = 'B';
  file[1] = 'M';
  Put32(file + 2, kBitmapHeaderSize + pixelBytes);
  std::memcpy(file + 6, "TLBD", 4);
  Put32(file + 10, kBitmapHeaderSize);
  Put32(file + 14, kInfoHeaderSize);
  Put32(file + 18, width);
  Put32(file + 22, static_cast<uint32_t>(-static_cast<int32_t>(height)));  // rows top to bottom
  Put16(file + 26, 1);
  Put16(file + 28, hasAlpha ? 32 : 24);
  Put32(file + 34, pixelBytes);
}

}  // namespace

TextureSlot::TextureSlot() : id_(++slotCounter) {}

TextureSlot::State TextureSlot::state() const {
  if (!path_.empty()) return kFile;
  return image_ ? kImage : kEmpty;
}

bool TextureSlot::SetImage(uint64_t width, uint64_t height, const uint8_t* pixels, bool hasAlpha) {
  if (!pixels) return false;
  const std::optional<uint32_t> counted = PixelBytes(width, height, hasAlpha ? 4 : 3);
  if (!counted) return false;
  const uint32_t pixelBytes = *counted;
  std::unique_ptr<uint8_t[]> file(new (std::nothrow) uint8_t[kBitmapHeaderSize + pixelBytes]);
  if (!file) return false;
  WriteBitmapHeader(file.get(), static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                    pixelBytes, hasAlpha);
  std::memcpy(file.get() + kBitmapHeaderSize, pixels, pixelBytes);
  Clear();
  image_ = std::move(file);
  imageSize_ = kBitmapHeaderSize + pixelBytes;
  hasAlpha_ = hasAlpha;
  stamp_ = ++imageCounter;
  changed_ = true;
  return true;
}

void TextureSlot::DropImage() {
  if (!image_) return;
  image_.reset();
  imageSize_ = 0;
  hasAlpha_ = false;
  stamp_ = 0;
  changed_ = true;
}

bool TextureSlot::SetFile(std::u16string_view path) {
  DropImage();
  const auto attributes = platform::QueryFileAttributes(path);
  const bool isFile = attributes && !attributes->isDirectory;
  const uint64_t newStamp = isFile ? attributes->lastWriteTime : 0;
  // Stored with the platform's own separators, so that its file name is found by them.
  const std::u16string newPath = isFile ? platform::WithNativeSeparators(path) : std::u16string();
  if (newStamp != stamp_ || newPath != path_) {
    stamp_ = newStamp;
    path_ = newPath;
    changed_ = true;
  }
  return changed_;
}

void TextureSlot::Clear() {
  DropImage();
  if (path_.empty()) return;
  path_.clear();
  stamp_ = 0;
  changed_ = true;
}

std::u16string TextureSlot::ExportFileName() const {
  switch (state()) {
    case kImage: {
      char name[32];
      const int length = std::snprintf(name, sizeof(name), "%08llx.%s",
                                       static_cast<unsigned long long>(id_),
                                       hasAlpha_ ? "png" : "jpg");
      return std::u16string(name, name + length);
    }
    case kFile: return std::u16string(platform::FileNameOf(path_));
    case kEmpty: break;
  }
  return {};
}

bool TextureSlot::SaveImage(std::u16string_view path, int quality) const {
  if (!image_) return false;
  const std::span<const uint8_t> bitmapFile(image_.get(), imageSize_);
  return hasAlpha_ ? platform::EncodePng(bitmapFile, path)
                   : platform::EncodeJpeg(bitmapFile, quality, path);
}

std::optional<std::string> TextureSlot::ExportTexture(bool copyFiles,
                                                      std::u16string_view folder) const {
  constexpr int kJpegQuality = 90;
  const State current = state();
  if (current == kEmpty) return std::nullopt;
  const std::u16string fileName = ExportFileName();
  const std::u16string target = platform::JoinPath(folder, fileName);
  // The reference is a URI: its parts are separated by '/' whatever the platform's separator.
  std::u16string reference = std::u16string(platform::FileNameOf(folder)) + u'/' + fileName;
  if (current == kFile) {
    if (!copyFiles) {
      reference = platform::WithUriSeparators(path_);
    } else if (!platform::CopyFileReplacing(path_, target)) {
      return std::nullopt;
    }
  } else if (!SaveImage(target, kJpegQuality)) {
    return std::nullopt;
  }
  return UriEscapeForXml(reference);
}

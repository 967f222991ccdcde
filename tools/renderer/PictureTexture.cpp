#include "tools/renderer/PictureTexture.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/BitmapFile.h"
#include "platform/FileSystem.h"
#include "platform/ImageDecoder.h"

namespace {

// Room for any image the decoder would accept, so that a path naming some huge file is not read.
constexpr uint64_t kMaxTextureFileBytes = 4 * platform::kMaxDecodedImagePixels;

}  // namespace

std::optional<PictureTexture> DecodeBitmapFile(std::span<const uint8_t> file) {
  const std::optional<platform::BitmapView> bitmap = platform::ReadBitmap(file);
  if (!bitmap || uint64_t{bitmap->width} * bitmap->height > platform::kMaxDecodedImagePixels) return std::nullopt;
  std::vector<uint8_t> rgba(size_t{bitmap->width} * bitmap->height * 4);
  uint8_t* target = rgba.data();
  for (uint32_t row = 0; row < bitmap->height; ++row) {
    const uint8_t* source = bitmap->row(row);
    for (uint32_t column = 0; column < bitmap->width; ++column, source += bitmap->bytesPerPixel, target += 4) {
      target[0] = source[2], target[1] = source[1], target[2] = source[0];
      target[3] = bitmap->bytesPerPixel == 4 ? source[3] : 255;
    }
  }
  return PictureTexture{bitmap->width, bitmap->height, bitmap->bytesPerPixel == 4, std::move(rgba)};
}

std::optional<PictureTexture> LoadTextureFile(std::u16string_view path) {
  const std::optional<platform::FileAttributes> attributes = platform::QueryFileAttributes(path);
  if (!attributes || !attributes->isRegularFile || attributes->size > kMaxTextureFileBytes) return std::nullopt;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(platform::OpenFile(path, platform::FileOpenMode::kRead),
                                                             &std::fclose);
  if (!file) return std::nullopt;
  std::vector<uint8_t> encoded;
  encoded.reserve(attributes->size);
  uint8_t chunk[65536];
  for (size_t got; (got = std::fread(chunk, 1, sizeof(chunk), file.get())) > 0;) {
    encoded.insert(encoded.end(), chunk, chunk + got);
  }
  std::string error;
  const std::optional<platform::DecodedImage> image = platform::DecodeImage(encoded, error);
  if (!image || image->channelCount < 3) return std::nullopt;
  const uint64_t pixelCount = uint64_t{image->width} * image->height;
  if (pixelCount == 0 || image->samples.size() != pixelCount * image->channelCount) return std::nullopt;
  std::vector<uint8_t> rgba(pixelCount * 4);
  for (uint64_t pixel = 0; pixel < pixelCount; ++pixel) {
    const uint8_t* source = &image->samples[pixel * image->channelCount];
    rgba[pixel * 4] = source[0], rgba[pixel * 4 + 1] = source[1], rgba[pixel * 4 + 2] = source[2];
    rgba[pixel * 4 + 3] = image->channelCount == 4 ? source[3] : 255;
  }
  return PictureTexture{image->width, image->height, image->channelCount == 4, std::move(rgba)};
}

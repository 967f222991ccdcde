#include "tools/renderer/TextureImage.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/ImageDecoder.h"

namespace {

constexpr size_t kBitmapHeaderSize = 54;
// Room for any image the decoder would accept, so that a path naming some huge file is not read.
constexpr uint64_t kMaxTextureFileBytes = 4 * platform::kMaxDecodedImagePixels;

uint32_t Word(const uint8_t* at) { return at[0] | at[1] << 8 | at[2] << 16 | uint32_t{at[3]} << 24; }

}  // namespace

std::optional<TextureImage> DecodeBitmapFile(std::span<const uint8_t> file) {
  if (file.size() < kBitmapHeaderSize || file[0] != 'B' || file[1] != 'M') return std::nullopt;
  const int32_t width = static_cast<int32_t>(Word(&file[18]));
  const int32_t height = static_cast<int32_t>(Word(&file[22]));
  const uint32_t bits = file[28] | file[29] << 8;
  const uint64_t rows = height < 0 ? uint64_t(-int64_t{height}) : uint64_t(height);
  if (width <= 0 || rows == 0 || (bits != 24 && bits != 32)) return std::nullopt;
  const uint64_t pixelCount = uint64_t(width) * rows;
  const uint32_t channels = bits / 8;
  if (pixelCount > platform::kMaxDecodedImagePixels || pixelCount * channels > file.size() - kBitmapHeaderSize) {
    return std::nullopt;
  }
  std::vector<uint8_t> rgba(pixelCount * 4);
  for (uint64_t row = 0; row < rows; ++row) {
    const uint64_t sourceRow = height < 0 ? row : rows - 1 - row;
    const uint8_t* source = &file[kBitmapHeaderSize + sourceRow * uint64_t(width) * channels];
    uint8_t* target = &rgba[row * uint64_t(width) * 4];
    for (int32_t column = 0; column < width; ++column, source += channels, target += 4) {
      target[0] = source[2], target[1] = source[1], target[2] = source[0];
      target[3] = channels == 4 ? source[3] : 255;
    }
  }
  return TextureImage{static_cast<uint32_t>(width), static_cast<uint32_t>(rows), bits == 32, std::move(rgba)};
}

std::optional<TextureImage> LoadTextureFile(std::u16string_view path) {
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
  return TextureImage{image->width, image->height, image->channelCount == 4, std::move(rgba)};
}

#include "tools/host/ImageDecoder.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/ImageDecoder.h"
#include "platform/Utf8Path.h"

std::optional<DrawingImage> DecodeImage(std::span<const uint8_t> encoded, std::string& error) {
  std::optional<platform::DecodedImage> decoded = platform::DecodeImage(encoded, error);
  if (!decoded) return std::nullopt;
  return DrawingImage{int32_t(decoded->width), int32_t(decoded->height), decoded->channelCount,
                      std::move(decoded->samples)};
}

std::optional<DrawingImage> DecodeImageFile(const std::string& path, std::string& error) {
  std::ifstream file(platform::PathFromUtf8(path), std::ios::binary);
  if (!file) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  const std::vector<uint8_t> encoded((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return DecodeImage(encoded, error);
}

#include "platform/ImageDecoder.h"

#include <png.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace platform {
namespace {

bool StartsWith(std::span<const uint8_t> data, std::initializer_list<uint8_t> signature) {
  return data.size() >= signature.size() && std::equal(signature.begin(), signature.end(), data.begin());
}

std::optional<DecodedImage> DecodePng(std::span<const uint8_t> encoded, std::string& error) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&png, encoded.data(), encoded.size())) {
    error = std::string("damaged PNG: ") + png.message;
    return std::nullopt;
  }
  if (png.width == 0 || png.height == 0 || uint64_t(png.width) * png.height > kMaxDecodedImagePixels) {
    png_image_free(&png);
    error = "PNG of unusable size " + std::to_string(png.width) + "×" + std::to_string(png.height);
    return std::nullopt;
  }
  const bool alpha = (png.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  png.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  DecodedImage image{png.width, png.height, alpha ? 4u : 3u, {}};
  image.samples.resize(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, image.samples.data(), 0, nullptr)) {
    error = std::string("damaged PNG: ") + png.message;
    png_image_free(&png);
    return std::nullopt;
  }
  return image;
}

std::optional<DecodedImage> DecodeJpeg(std::span<const uint8_t> encoded, std::string& error) {
  tjhandle decoder = tjInitDecompress();
  if (!decoder) {
    error = "no JPEG decoder";
    return std::nullopt;
  }
  int width = 0, height = 0, subsampling = 0, colourspace = 0;
  std::optional<DecodedImage> result;
  if (tjDecompressHeader3(decoder, encoded.data(), static_cast<unsigned long>(encoded.size()), &width, &height,
                          &subsampling, &colourspace) != 0) {
    error = std::string("damaged JPEG: ") + tjGetErrorStr2(decoder);
  } else if (width <= 0 || height <= 0 || uint64_t(width) * uint64_t(height) > kMaxDecodedImagePixels) {
    error = "JPEG of unusable size";
  } else {
    DecodedImage image{uint32_t(width), uint32_t(height), 3, std::vector<uint8_t>(size_t(width) * height * 3)};
    if (tjDecompress2(decoder, encoded.data(), static_cast<unsigned long>(encoded.size()), image.samples.data(),
                      width, 0, height, TJPF_RGB, TJFLAG_ACCURATEDCT) != 0 &&
        tjGetErrorCode(decoder) == TJERR_FATAL) {
      error = std::string("damaged JPEG: ") + tjGetErrorStr2(decoder);
    } else {
      result = std::move(image);
    }
  }
  tjDestroy(decoder);
  return result;
}

}  // namespace

std::optional<DecodedImage> DecodeImage(std::span<const uint8_t> encoded, std::string& error) {
  if (StartsWith(encoded, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})) return DecodePng(encoded, error);
  if (StartsWith(encoded, {0xFF, 0xD8, 0xFF})) return DecodeJpeg(encoded, error);
  error = "not a PNG or JPEG image";
  return std::nullopt;
}

}  // namespace platform

#include "platform/ImageEncoder.h"

#include <cstdio>
#include <optional>
#include <png.h>
#include <string>
#include <turbojpeg.h>
#include <vector>

#include "platform/BitmapFile.h"
#include "platform/TextConversion.h"

namespace platform {
namespace {

// Writes beside the target and renames at the end, so a failure leaves no partial file.
class OutputFile {
public:
  explicit OutputFile(std::u16string_view path)
      : target_(Utf8FromUtf16(path)), temporary_(target_ + ".partial") {
    file_ = std::fopen(temporary_.c_str(), "wb");
  }
  ~OutputFile() {
    if (file_) std::fclose(file_);
    if (!committed_) std::remove(temporary_.c_str());
  }
  FILE* get() const { return file_; }
  bool Commit() {
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    committed_ = closed && std::rename(temporary_.c_str(), target_.c_str()) == 0;
    return committed_;
  }

private:
  std::string target_;
  std::string temporary_;
  FILE* file_ = nullptr;
  bool committed_ = false;
};

bool WritePng(const BitmapView& bitmap, FILE* file) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, bitmap.width, bitmap.height, 8,
               bitmap.bytesPerPixel == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  if (bitmap.blueFirst) png_set_bgr(png);
  for (uint32_t row = 0; row < bitmap.height; ++row) {
    png_write_row(png, bitmap.row(row));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool WriteJpeg(const BitmapView& bitmap, int quality, FILE* file) {
  tjhandle compressor = tjInitCompress();
  if (!compressor) return false;
  const int pixelFormat = bitmap.bytesPerPixel == 4 ? TJPF_BGRA : TJPF_BGR;
  // TurboJPEG refuses a negative pitch; it reads a bottom-up bitmap from its first row in memory.
  const int flags = TJFLAG_ACCURATEDCT | (bitmap.topDown ? 0 : TJFLAG_BOTTOMUP);
  unsigned char* jpeg = nullptr;
  unsigned long jpegSize = 0;
  const int failed = tjCompress2(compressor, bitmap.pixels, static_cast<int>(bitmap.width),
                                 static_cast<int>(bitmap.rowBytes()), static_cast<int>(bitmap.height), pixelFormat,
                                 &jpeg, &jpegSize, TJSAMP_420, quality, flags);
  const bool written = !failed && std::fwrite(jpeg, 1, jpegSize, file) == jpegSize;
  tjFree(jpeg);
  tjDestroy(compressor);
  return written;
}

}  // namespace

bool EncodePng(std::span<const uint8_t> bitmapFile, std::u16string_view path) {
  const std::optional<BitmapView> bitmap = ReadBitmap(bitmapFile);
  if (!bitmap) return false;
  OutputFile output(path);
  return output.get() && WritePng(*bitmap, output.get()) && output.Commit();
}

bool EncodePngPixels(uint32_t width, uint32_t height, std::span<const uint8_t> rgba, std::u16string_view path) {
  if (width == 0 || height == 0 || uint64_t{width} * height * 4 != rgba.size()) return false;
  const BitmapView pixels{width, height, 4, true, rgba.data(), false};
  OutputFile output(path);
  return output.get() && WritePng(pixels, output.get()) && output.Commit();
}

bool EncodeJpeg(std::span<const uint8_t> bitmapFile, int quality, std::u16string_view path) {
  const std::optional<BitmapView> bitmap = ReadBitmap(bitmapFile);
  if (!bitmap || quality < 1 || quality > 100) return false;
  if (bitmap->width > INT32_MAX / bitmap->bytesPerPixel) return false;  // the pitch must fit an int
  OutputFile output(path);
  return output.get() && WriteJpeg(*bitmap, quality, output.get()) && output.Commit();
}

}  // namespace platform

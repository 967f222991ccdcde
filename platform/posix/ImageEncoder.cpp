#include "platform/ImageEncoder.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <png.h>
#include <string>
#include <turbojpeg.h>
#include <vector>

#include "platform/TextConversion.h"

namespace platform {
namespace {

constexpr size_t kHeaderSize = 54;

struct BitmapView {
  uint32_t width;
  uint32_t height;
  uint32_t bytesPerPixel;  // 3 or 4
  bool topDown;
  const uint8_t* pixels;
  bool blueFirst = true;  // a bitmap file's order; plain pixels are red first

  size_t rowBytes() const { return size_t{width} * bytesPerPixel; }
  // Row `index` counted from the top of the picture.
  const uint8_t* row(uint32_t index) const {
    return pixels + rowBytes() * (topDown ? index : height - 1 - index);
  }
};

template <class Value>
Value ReadLittleEndian(const uint8_t* bytes) {
  Value value{};
  std::memcpy(&value, bytes, sizeof(value));
  return value;
}

std::optional<BitmapView> ReadBitmap(std::span<const uint8_t> file) {
  if (file.size() < kHeaderSize || file[0] != 'B' || file[1] != 'M') return std::nullopt;
  const uint32_t pixelOffset = ReadLittleEndian<uint32_t>(&file[10]);
  const uint32_t infoSize = ReadLittleEndian<uint32_t>(&file[14]);
  const int32_t width = ReadLittleEndian<int32_t>(&file[18]);
  const int32_t height = ReadLittleEndian<int32_t>(&file[22]);
  const uint16_t bitsPerPixel = ReadLittleEndian<uint16_t>(&file[28]);
  const uint32_t compression = ReadLittleEndian<uint32_t>(&file[30]);
  if (infoSize != 40 || compression != 0 || (bitsPerPixel != 24 && bitsPerPixel != 32)) return std::nullopt;
  if (width <= 0 || height == 0 || height == INT32_MIN || pixelOffset < kHeaderSize) return std::nullopt;

  BitmapView view{static_cast<uint32_t>(width), static_cast<uint32_t>(height < 0 ? -height : height),
                  bitsPerPixel / 8u, height < 0, nullptr};
  // 64-bit products of 32-bit sizes cannot overflow; the buffer must hold every row.
  const uint64_t pixelBytes = uint64_t{view.width} * view.height * view.bytesPerPixel;
  if (pixelOffset > file.size() || pixelBytes > file.size() - pixelOffset) return std::nullopt;
  view.pixels = file.data() + pixelOffset;
  return view;
}

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
  // A negative pitch walks a bottom-up bitmap from its top row.
  const int pitch = static_cast<int>(bitmap.rowBytes()) * (bitmap.topDown ? 1 : -1);
  unsigned char* jpeg = nullptr;
  unsigned long jpegSize = 0;
  const int failed = tjCompress2(compressor, bitmap.row(0), static_cast<int>(bitmap.width), pitch,
                                 static_cast<int>(bitmap.height), pixelFormat, &jpeg, &jpegSize, TJSAMP_420,
                                 quality, TJFLAG_ACCURATEDCT);
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

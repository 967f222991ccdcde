#include "platform/ImageEncoder.h"

#include <windows.h>
// GDI+'s headers need COM's stream interfaces and the min/max that windows.h defines.
#include <objidl.h>
#include <gdiplus.h>

#include <climits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/BitmapFile.h"

namespace platform {
namespace {

// GDI+ is started once, on the first image, and never shut down. Neither GdiplusStartup nor
// GdiplusShutdown may run inside DllMain, and in a DLL a static object's destructor runs exactly
// there; the module has no later moment of its own. So gdiplus.dll is pinned instead: unloading
// the module then cannot unload GDI+ under its background thread, and the system reclaims both
// when the process ends. Thread-safe through the static's guarded initialisation.
bool GdiplusStarted() {
  static const bool started = [] {
    const Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, L"gdiplus.dll", &pinned);
    return true;
  }();
  return started;
}

std::optional<CLSID> FindEncoder(const wchar_t* mimeType) {
  UINT count = 0;
  UINT bytes = 0;
  if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || count == 0) return std::nullopt;
  // One block holds the records and the strings they point to; whole records keep it aligned.
  const size_t records = bytes / sizeof(Gdiplus::ImageCodecInfo) + 1;
  const auto codecs = std::make_unique<Gdiplus::ImageCodecInfo[]>(records);
  if (Gdiplus::GetImageEncoders(count, bytes, codecs.get()) != Gdiplus::Ok) return std::nullopt;
  for (UINT index = 0; index < count; ++index) {
    if (codecs[index].MimeType && std::wstring_view(codecs[index].MimeType) == mimeType) return codecs[index].Clsid;
  }
  return std::nullopt;
}

// GDI+'s 32-bit formats hold B, G, R, A bytes, top row first here; 24-bit rows would need a
// stride padded to four bytes, so every source is widened to 32 bits (alpha 255 when it has none).
std::vector<uint8_t> BlueFirstRows(const BitmapView& source) {
  std::vector<uint8_t> pixels(size_t{source.width} * source.height * 4);
  uint8_t* out = pixels.data();
  for (uint32_t row = 0; row < source.height; ++row) {
    const uint8_t* in = source.row(row);
    for (uint32_t column = 0; column < source.width; ++column, in += source.bytesPerPixel, out += 4) {
      out[0] = source.blueFirst ? in[0] : in[2];
      out[1] = in[1];
      out[2] = source.blueFirst ? in[2] : in[0];
      out[3] = source.bytesPerPixel == 4 ? in[3] : 255;
    }
  }
  return pixels;
}

// Saves beside the target and renames at the end, so a failure leaves no partial file.
bool SaveImage(Gdiplus::Bitmap& image, const CLSID& encoder, const Gdiplus::EncoderParameters* parameters,
               std::u16string_view path) {
  const std::wstring target(path.begin(), path.end());
  const std::wstring temporary = target + L".partial";
  if (image.Save(temporary.c_str(), &encoder, parameters) == Gdiplus::Ok &&
      MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    return true;
  }
  DeleteFileW(temporary.c_str());
  return false;
}

// Writes the picture with the encoder of `mimeType`; `alpha` keeps the fourth byte, else GDI+
// writes three channels.
bool Encode(const BitmapView& source, bool alpha, const wchar_t* mimeType,
            const Gdiplus::EncoderParameters* parameters, std::u16string_view path) {
  if (source.width > INT_MAX / 4 || source.height > INT_MAX || !GdiplusStarted()) return false;
  const std::optional<CLSID> encoder = FindEncoder(mimeType);
  if (!encoder) return false;
  std::vector<uint8_t> pixels = BlueFirstRows(source);
  Gdiplus::Bitmap image(static_cast<INT>(source.width), static_cast<INT>(source.height),
                        static_cast<INT>(source.width * 4), alpha ? PixelFormat32bppARGB : PixelFormat32bppRGB,
                        pixels.data());
  return image.GetLastStatus() == Gdiplus::Ok && SaveImage(image, *encoder, parameters, path);
}

}  // namespace

bool EncodePng(std::span<const uint8_t> bitmapFile, std::u16string_view path) {
  const std::optional<BitmapView> bitmap = ReadBitmap(bitmapFile);
  return bitmap && Encode(*bitmap, bitmap->bytesPerPixel == 4, L"image/png", nullptr, path);
}

bool EncodePngPixels(uint32_t width, uint32_t height, std::span<const uint8_t> rgba, std::u16string_view path) {
  if (width == 0 || height == 0 || uint64_t{width} * height * 4 != rgba.size()) return false;
  const BitmapView pixels{width, height, 4, true, rgba.data(), false};
  return Encode(pixels, true, L"image/png", nullptr, path);
}

bool EncodeJpeg(std::span<const uint8_t> bitmapFile, int quality, std::u16string_view path) {
  const std::optional<BitmapView> bitmap = ReadBitmap(bitmapFile);
  if (!bitmap || quality < 1 || quality > 100) return false;
  ULONG level = static_cast<ULONG>(quality);
  Gdiplus::EncoderParameters parameters{};
  parameters.Count = 1;
  parameters.Parameter[0].Guid = Gdiplus::EncoderQuality;
  parameters.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
  parameters.Parameter[0].NumberOfValues = 1;
  parameters.Parameter[0].Value = &level;
  return Encode(*bitmap, false, L"image/jpeg", &parameters, path);
}

}  // namespace platform

#include "platform/ImageDecoder.h"

#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>

namespace platform {
namespace {

using Microsoft::WRL::ComPtr;

// Joins the calling thread to COM for one decode: the multithreaded apartment when the thread has
// none, else the apartment the caller already chose (RPC_E_CHANGED_MODE: a single-threaded one,
// which WIC works in too). Only a join of our own is undone.
class ComApartment {
public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }
  HRESULT result() const { return result_; }

private:
  HRESULT result_;
};

std::string Describe(const char* what, HRESULT result) {
  char code[16];
  std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(result));
  return std::string(what) + " (error 0x" + code + ")";
}

bool StartsWith(std::span<const uint8_t> data, std::initializer_list<uint8_t> signature) {
  return data.size() >= signature.size() && std::equal(signature.begin(), signature.end(), data.begin());
}

uint32_t ReadBigEndian(const uint8_t* bytes) {
  return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

// Whether a PNG carries alpha: a colour type with it (4, 6), or a transparency chunk before the
// image data. WIC's pixel formats do not say so for a palette with transparency.
bool PngHasAlpha(std::span<const uint8_t> png) {
  constexpr size_t kColourType = 25;
  constexpr size_t kFirstChunkAfterHeader = 33;
  if (png.size() <= kColourType) return false;
  if (png[kColourType] == 4 || png[kColourType] == 6) return true;
  for (uint64_t chunk = kFirstChunkAfterHeader; chunk + 8 <= png.size();) {
    const uint8_t* start = png.data() + chunk;
    if (std::equal(start + 4, start + 8, "IDAT")) return false;
    if (std::equal(start + 4, start + 8, "tRNS")) return true;
    chunk += uint64_t{ReadBigEndian(start)} + 12;  // length, type, data, check sum
  }
  return false;
}

// Decodes the first frame with WIC's decoder for `container`, converted to 32-bit B, G, R, A, and
// keeps `channelCount` channels in R, G, B(, A) order.
std::optional<DecodedImage> DecodeWithWic(std::span<const uint8_t> encoded, const GUID& container,
                                          uint32_t channelCount, const char* damaged, std::string& error) {
  const ComApartment apartment;
  if (!apartment.usable()) {
    error = Describe("COM is not available on this thread", apartment.result());
    return std::nullopt;
  }
  ComPtr<IWICImagingFactory> factory;
  HRESULT result = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory));
  if (FAILED(result)) {
    error = Describe("no image decoder", result);
    return std::nullopt;
  }
  if (encoded.size() > MAXDWORD) {
    error = std::string(damaged) + ": larger than 4 GB";
    return std::nullopt;
  }
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  UINT width = 0;
  UINT height = 0;
  // WIC only reads the buffer it is given.
  result = factory->CreateStream(&stream);
  if (SUCCEEDED(result))
    result = stream->InitializeFromMemory(const_cast<BYTE*>(encoded.data()), static_cast<DWORD>(encoded.size()));
  if (SUCCEEDED(result)) result = factory->CreateDecoder(container, nullptr, &decoder);
  if (SUCCEEDED(result)) result = decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand);
  if (SUCCEEDED(result)) result = decoder->GetFrame(0, &frame);
  if (SUCCEEDED(result)) result = frame->GetSize(&width, &height);
  if (FAILED(result)) {
    error = Describe(damaged, result);
    return std::nullopt;
  }
  if (width == 0 || height == 0 || uint64_t{width} * height > kMaxDecodedImagePixels) {
    error = "image of unusable size " + std::to_string(width) + "×" + std::to_string(height);
    return std::nullopt;
  }

  ComPtr<IWICFormatConverter> converter;
  std::vector<uint8_t> blueFirst(size_t{width} * height * 4);
  result = factory->CreateFormatConverter(&converter);
  if (SUCCEEDED(result))
    result = converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom);
  if (SUCCEEDED(result))
    result = converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(blueFirst.size()), blueFirst.data());
  if (FAILED(result)) {
    error = Describe(damaged, result);
    return std::nullopt;
  }

  DecodedImage image{width, height, channelCount, std::vector<uint8_t>(size_t{width} * height * channelCount)};
  uint8_t* out = image.samples.data();
  for (size_t pixel = 0; pixel < blueFirst.size(); pixel += 4, out += channelCount) {
    out[0] = blueFirst[pixel + 2];
    out[1] = blueFirst[pixel + 1];
    out[2] = blueFirst[pixel];
    if (channelCount == 4) out[3] = blueFirst[pixel + 3];
  }
  return image;
}

}  // namespace

std::optional<DecodedImage> DecodeImage(std::span<const uint8_t> encoded, std::string& error) {
  if (StartsWith(encoded, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})) {
    return DecodeWithWic(encoded, GUID_ContainerFormatPng, PngHasAlpha(encoded) ? 4 : 3, "damaged PNG", error);
  }
  if (StartsWith(encoded, {0xFF, 0xD8, 0xFF})) {
    return DecodeWithWic(encoded, GUID_ContainerFormatJpeg, 3, "damaged JPEG", error);
  }
  error = "not a PNG or JPEG image";
  return std::nullopt;
}

}  // namespace platform

// What only the Windows image backend can get wrong: the files its GDI+ encoders write, read back
// by GDI+ itself rather than by our decoder; the process-wide GDI+ start under concurrent first
// use; and COM apartments the decoder joins or finds.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/ImageDecoder.h"
#include "platform/ImageEncoder.h"
#include "tests/support/TestEnvironment.h"

namespace {

std::vector<uint8_t> BitmapFile(int32_t width, int32_t height, uint16_t bitsPerPixel, const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> file(54 + pixels.size(), 0);
  const auto put = [&file](size_t offset, auto value) { std::memcpy(&file[offset], &value, sizeof(value)); };
  file[0] = 'B';
  file[1] = 'M';
  put(2, uint32_t(file.size()));
  put(10, uint32_t(54));
  put(14, uint32_t(40));
  put(18, width);
  put(22, height);
  put(26, uint16_t(1));
  put(28, bitsPerPixel);
  std::memcpy(&file[54], pixels.data(), pixels.size());
  return file;
}

// The picture as GDI+ reads it: its format, and 32-bit B, G, R, A bytes top row first.
struct GdiplusPicture {
  UINT width = 0;
  UINT height = 0;
  Gdiplus::PixelFormat format = 0;
  std::vector<uint8_t> pixels;
};

class ImageWin32Test : public TestEnvironment {
protected:
  void SetUp() override {
    TestEnvironment::SetUp();
    const Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&gdiplus_, &input, nullptr), Gdiplus::Ok);
  }
  void TearDown() override {
    Gdiplus::GdiplusShutdown(gdiplus_);
    TestEnvironment::TearDown();
  }

  std::wstring WidePath(const char* name) const { return (scratch() / name).wstring(); }
  std::u16string Path(const char* name) const {
    const std::wstring wide = WidePath(name);
    return {wide.begin(), wide.end()};
  }

  GdiplusPicture ReadWithGdiplus(const char* name) const {
    GdiplusPicture picture;
    Gdiplus::Bitmap image(WidePath(name).c_str());
    if (image.GetLastStatus() != Gdiplus::Ok) return picture;
    picture.width = image.GetWidth();
    picture.height = image.GetHeight();
    picture.format = image.GetPixelFormat();
    Gdiplus::Rect all(0, 0, INT(picture.width), INT(picture.height));
    Gdiplus::BitmapData data{};
    if (image.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) != Gdiplus::Ok) return picture;
    for (UINT row = 0; row < picture.height; ++row) {
      const auto* line = static_cast<const uint8_t*>(data.Scan0) + ptrdiff_t(row) * data.Stride;
      picture.pixels.insert(picture.pixels.end(), line, line + size_t(picture.width) * 4);
    }
    image.UnlockBits(&data);
    return picture;
  }

private:
  ULONG_PTR gdiplus_ = 0;
};

TEST_F(ImageWin32Test, SeveralThreadsEncodingAtOnceAllGetTheirFiles) {
  // The first images of the process start GDI+; exporters write textures in parallel.
  std::vector<std::thread> threads;
  std::vector<int> written(4, 0);
  for (size_t index = 0; index < written.size(); ++index) {
    threads.emplace_back([this, index, &written] {
      const std::vector<uint8_t> rgba = {uint8_t(index), 2, 3, 4};
      const std::string name = "thread" + std::to_string(index) + ".png";
      written[index] = platform::EncodePngPixels(1, 1, rgba, Path(name.c_str()));
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (size_t index = 0; index < written.size(); ++index) {
    EXPECT_TRUE(written[index]) << index;
    const std::string name = "thread" + std::to_string(index) + ".png";
    EXPECT_EQ(ReadWithGdiplus(name.c_str()).pixels, (std::vector<uint8_t>{3, 2, uint8_t(index), 4})) << index;
  }
}

TEST_F(ImageWin32Test, GdiplusReadsThePngWithTheBitmapsAlphaAndRowOrder) {
  // B, G, R, A stored bottom-up: bottom row blue then transparent white, top row red then
  // half-transparent green. A fully transparent pixel keeps its colour (no premultiplying).
  const std::vector<uint8_t> bottomUp = {255, 0, 0, 255, 255, 255, 255, 0, 0, 0, 255, 255, 0, 255, 0, 128};
  ASSERT_TRUE(platform::EncodePng(BitmapFile(2, 2, 32, bottomUp), Path("alpha.png")));
  const GdiplusPicture alpha = ReadWithGdiplus("alpha.png");
  EXPECT_TRUE(Gdiplus::IsAlphaPixelFormat(alpha.format));
  EXPECT_EQ(alpha.pixels, (std::vector<uint8_t>{0, 0, 255, 255, 0, 255, 0, 128, 255, 0, 0, 255, 255, 255, 255, 0}));

  // 24-bit pixels give a PNG without alpha; a row of two is six bytes, unpadded.
  ASSERT_TRUE(platform::EncodePng(BitmapFile(2, -1, 24, {10, 20, 30, 40, 50, 60}), Path("opaque.png")));
  const GdiplusPicture rgb = ReadWithGdiplus("opaque.png");
  EXPECT_FALSE(Gdiplus::IsAlphaPixelFormat(rgb.format));
  EXPECT_EQ(rgb.pixels, (std::vector<uint8_t>{10, 20, 30, 255, 40, 50, 60, 255}));
}

TEST_F(ImageWin32Test, GdiplusReadsTheJpegAtItsSizeAndColour) {
  // The quality is handed to the encoder; Wine's ignores it, so only size and colour are checked.
  std::vector<uint8_t> pixels;
  for (int pixel = 0; pixel < 9 * 7; ++pixel) pixels.insert(pixels.end(), {40, 120, 200});
  ASSERT_TRUE(platform::EncodeJpeg(BitmapFile(9, 7, 24, pixels), 90, Path("flat.jpg")));
  const GdiplusPicture jpeg = ReadWithGdiplus("flat.jpg");
  EXPECT_EQ(jpeg.width, 9u);
  EXPECT_EQ(jpeg.height, 7u);
  ASSERT_EQ(jpeg.pixels.size(), 9u * 7 * 4);
  EXPECT_NEAR(jpeg.pixels[0], 40, 4);
  EXPECT_NEAR(jpeg.pixels[1], 120, 4);
  EXPECT_NEAR(jpeg.pixels[2], 200, 4);
}

TEST_F(ImageWin32Test, ATargetHeldOpenByAnotherProgramFailsAndKeepsItsContent) {
  ASSERT_TRUE(platform::EncodePngPixels(1, 1, std::vector<uint8_t>{1, 2, 3, 4}, Path("held.png")));
  const std::string before = ReadFile(scratch() / "held.png");
  // Another program reading the texture without sharing it.
  const HANDLE held = CreateFileW(WidePath("held.png").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(platform::EncodePngPixels(1, 1, std::vector<uint8_t>{9, 9, 9, 9}, Path("held.png")));
  CloseHandle(held);
  EXPECT_EQ(ReadFile(scratch() / "held.png"), before);
  EXPECT_FALSE(std::filesystem::exists(scratch() / "held.png.partial"));
}

// Decodes a small PNG on the calling thread, as the host does from whatever thread it is on.
bool DecodesOnThisThread(const std::vector<uint8_t>& png) {
  std::string error;
  return platform::DecodeImage(png, error).has_value();
}

TEST_F(ImageWin32Test, DecodingKeepsTheCallersComApartmentAndLeavesNoneBehind) {
  ASSERT_TRUE(platform::EncodePngPixels(1, 1, std::vector<uint8_t>{1, 2, 3, 4}, Path("small.png")));
  const std::string text = ReadFile(scratch() / "small.png");
  const std::vector<uint8_t> png(text.begin(), text.end());

  // A single-threaded apartment of the caller's: the decoder works in it and does not end it.
  std::thread([&png] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_TRUE(DecodesOnThisThread(png));
    EXPECT_TRUE(DecodesOnThisThread(png));
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE) << "the caller's apartment was ended";
    CoUninitialize();
    CoUninitialize();
  }).join();

  // A thread without COM: the decoder's own apartment is gone afterwards.
  std::thread([&png] {
    EXPECT_TRUE(DecodesOnThisThread(png));
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK) << "an apartment was left open";
    CoUninitialize();
  }).join();
}

}  // namespace

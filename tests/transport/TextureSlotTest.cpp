#include "transport/TextureSlot.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <string>

#include "platform/ImageEncoder.h"
#include "platform/Path.h"
#include "platform/TextConversion.h"
#include "tests/support/TestEnvironment.h"

namespace {

class TextureSlotTest : public TestEnvironment {
protected:
  // A file written `writeTime` seconds after 1970 began.
  std::u16string WriteFile(const std::string& name, int64_t writeTime) {
    std::ofstream(scratch() / name) << "image";
    const std::chrono::sys_seconds time{std::chrono::seconds(writeTime)};
    std::filesystem::last_write_time(scratch() / name, std::chrono::file_clock::from_sys(time));
    const std::string path = (scratch() / name).string();
    return {path.begin(), path.end()};
  }
};

uint32_t U32(const uint8_t* base, size_t offset) {
  uint32_t value;
  std::memcpy(&value, base + offset, 4);
  return value;
}

TEST_F(TextureSlotTest, ImageIsKeptAsATopDownBitmapFile) {
  TextureSlot slot;
  const uint8_t pixels[2 * 3 * 4] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
  ASSERT_TRUE(slot.SetImage(2, 3, pixels, true));
  ASSERT_EQ(slot.imageSize(), 54u + 24u);
  const uint8_t* file = slot.image();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(file), 2), "BM");
  EXPECT_EQ(U32(file, 2), 78u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(file + 6), 4), "TLBD");
  EXPECT_EQ(U32(file, 10), 54u);
  EXPECT_EQ(U32(file, 14), 40u);
  EXPECT_EQ(U32(file, 18), 2u);
  EXPECT_EQ(static_cast<int32_t>(U32(file, 22)), -3);
  EXPECT_EQ(U32(file, 26), 1u | 32u << 16);  // planes, bits per pixel
  EXPECT_EQ(U32(file, 30), 0u);
  EXPECT_EQ(U32(file, 34), 24u);
  for (size_t offset = 38; offset < 54; ++offset) EXPECT_EQ(file[offset], 0) << offset;
  EXPECT_EQ(std::memcmp(file + 54, pixels, 24), 0);
  EXPECT_EQ(slot.state(), TextureSlot::kImage);
  EXPECT_TRUE(slot.changed());

  ASSERT_TRUE(slot.SetImage(2, 2, pixels, false));
  EXPECT_EQ(slot.imageSize(), 54u + 12u);
  EXPECT_EQ(slot.image()[28], 24);
}

TEST_F(TextureSlotTest, IdsAndImageStampsCountUpAndNameExportedFiles) {
  TextureSlot first, second;
  EXPECT_EQ(second.id(), first.id() + 1);
  const uint8_t pixel[4] = {};
  first.SetImage(1, 1, pixel, true);
  const uint64_t firstStamp = first.stamp();
  second.SetImage(1, 1, pixel, false);
  EXPECT_EQ(second.stamp(), firstStamp + 1);
  EXPECT_EQ(second.ExportFileName().substr(8), u".jpg");
  EXPECT_EQ(TextureSlot().ExportFileName(), u"");

  // Eight lower-case hexadecimal digits of the id: take a slot whose last digit is a letter.
  auto lettered = std::make_unique<TextureSlot>();
  while (lettered->id() % 16 < 10) lettered = std::make_unique<TextureSlot>();
  lettered->SetImage(1, 1, pixel, true);
  const std::u16string name = lettered->ExportFileName();
  ASSERT_EQ(name.size(), 12u);
  EXPECT_EQ(name.substr(8), u".png");
  const std::string digits(name.begin(), name.begin() + 8);
  EXPECT_EQ(digits.find_first_not_of("0123456789abcdef"), std::string::npos) << digits;
  EXPECT_EQ(std::stoull(digits, nullptr, 16), lettered->id());
}

TEST_F(TextureSlotTest, ImagesThatCannotBeDescribedAreRefusedAndChangeNothing) {
  TextureSlot slot;
  const uint8_t pixel[4] = {9, 9, 9, 9};
  ASSERT_TRUE(slot.SetImage(1, 1, pixel, true));
  slot.ResetChanged();
  const uint64_t stamp = slot.stamp();
  EXPECT_FALSE(slot.SetImage(1, 1, nullptr, true));
  EXPECT_FALSE(slot.SetImage(65536, 65536, pixel, true));         // 16 GiB of pixels
  EXPECT_FALSE(slot.SetImage(0x80000000ull, 1, pixel, false));     // width beyond int32
  EXPECT_FALSE(slot.SetImage(32768, 32768, pixel, true));         // 4 GiB + 54 header bytes
  EXPECT_EQ(slot.stamp(), stamp);
  EXPECT_EQ(slot.imageSize(), 58u);
  EXPECT_FALSE(slot.changed());
}

TEST_F(TextureSlotTest, FileIsStampedWithItsWriteTimeAndChangesOnlyWhenItDoes) {
  const std::u16string path = WriteFile("brick.png", 1600000000);
  TextureSlot slot;
  EXPECT_TRUE(slot.SetFile(path));
  EXPECT_EQ(slot.state(), TextureSlot::kFile);
  EXPECT_EQ(slot.stamp(), 116444736000000000ull + 1600000000ull * 10000000ull);
  EXPECT_EQ(slot.ExportFileName(), u"brick.png");
  slot.ResetChanged();
  EXPECT_FALSE(slot.SetFile(path));
  WriteFile("brick.png", 1600000100);
  EXPECT_TRUE(slot.SetFile(path));
  // Another file written at the same moment is a change too.
  slot.ResetChanged();
  const std::u16string twin = WriteFile("stone.png", 1600000100);
  EXPECT_TRUE(slot.SetFile(twin));
  EXPECT_EQ(slot.ExportFileName(), u"stone.png");
  slot.SetFile(path);

  // Switching kinds drops the other content.
  const uint8_t pixel[3] = {};
  slot.SetImage(1, 1, pixel, false);
  EXPECT_TRUE(slot.path().empty());
  slot.SetFile(path);
  EXPECT_EQ(slot.image(), nullptr);
  EXPECT_EQ(slot.imageSize(), 0u);
  slot.ResetChanged();

  for (const std::u16string& gone : {path + u".missing", std::u16string(platform::FolderOf(path))}) {
    slot.SetFile(path);
    slot.ResetChanged();
    EXPECT_TRUE(slot.SetFile(gone));
    EXPECT_EQ(slot.state(), TextureSlot::kEmpty);
    EXPECT_EQ(slot.stamp(), 0u);
  }
  slot.SetFile(path);
  slot.ResetChanged();
  slot.Clear();
  EXPECT_TRUE(slot.changed());
  EXPECT_EQ(slot.state(), TextureSlot::kEmpty);
}

TEST_F(TextureSlotTest, ImagesAreEncodedIntoTheFolderAsPngWithAlphaOrJpegAtQuality90) {
  std::filesystem::create_directory(scratch() / "house_Textures");
  const std::u16string folder = platform::Utf16FromUtf8((scratch() / "house_Textures").string());
  const uint8_t pixels[2 * 2 * 4] = {0, 0, 255, 255, 0, 255, 0, 128, 255, 0, 0, 255, 9, 9, 9, 0};

  TextureSlot withAlpha, opaque;
  ASSERT_TRUE(withAlpha.SetImage(2, 2, pixels, true));
  ASSERT_TRUE(opaque.SetImage(2, 1, pixels, false));
  for (const TextureSlot* slot : {&withAlpha, &opaque}) {
    const std::string fileName = platform::Utf8FromUtf16(slot->ExportFileName());
    EXPECT_EQ(slot->ExportTexture(true, folder), "house_Textures/" + fileName);
    // The same bytes as the platform's encoder gives for the bitmap file.
    const std::filesystem::path reference = scratch() / ("reference-" + fileName);
    const std::span<const uint8_t> bitmap(slot->image(), slot->imageSize());
    const std::u16string referencePath = platform::Utf16FromUtf8(reference.string());
    ASSERT_TRUE(slot->hasAlpha() ? platform::EncodePng(bitmap, referencePath)
                                 : platform::EncodeJpeg(bitmap, 90, referencePath));
    EXPECT_EQ(ReadFile(scratch() / "house_Textures" / fileName), ReadFile(reference)) << fileName;
  }
  EXPECT_EQ(ReadFile(scratch() / "house_Textures" /
                     platform::Utf8FromUtf16(withAlpha.ExportFileName())).substr(1, 3), "PNG");

  // Nothing to encode, or nowhere to put it.
  EXPECT_FALSE(TextureSlot().SaveImage(folder + u"/empty.png", 90));
  EXPECT_EQ(TextureSlot().ExportTexture(true, folder), std::nullopt);
  EXPECT_EQ(opaque.ExportTexture(true, folder + u"/missing"), std::nullopt);
}

TEST_F(TextureSlotTest, FilesAreCopiedOrReferencedInPlaceAsEscapedUris) {
  // Wide names: a narrow path is in the ANSI code page on Windows, not in UTF-8.
  const std::filesystem::path textures = scratch() / u"my house_Textures";
  const std::filesystem::path source = scratch() / u"R&D wall \u00b0.png";
  std::filesystem::create_directory(textures);
  std::ofstream(source) << "image";
  const std::u16string folder = textures.u16string();
  TextureSlot slot;
  ASSERT_TRUE(slot.SetFile(source.u16string()));

  // The reference goes into XML content, so the '&' that the URI escape keeps is escaped there.
  EXPECT_EQ(slot.ExportTexture(true, folder), "my%20house_Textures/R&amp;D%20wall%20%c2%b0.png");
  EXPECT_EQ(ReadFile(textures / source.filename()), "image");

  std::filesystem::remove(textures / source.filename());
  // In place, the reference is the source's own path with '/' between its parts.
  const std::string scratchUri = platform::Utf8FromUtf16(platform::WithUriSeparators(scratch().u16string()));
  EXPECT_EQ(slot.ExportTexture(false, folder), scratchUri + "/R&amp;D%20wall%20%c2%b0.png");
  EXPECT_TRUE(std::filesystem::is_empty(textures));

  // A source that has gone since it was set cannot be copied.
  std::filesystem::remove(source);
  EXPECT_EQ(slot.ExportTexture(true, folder), std::nullopt);
}

#ifdef _WIN32

TEST_F(TextureSlotTest, ForwardSlashesAreStoredAsBackslashesAndTheUriHasForwardOnes) {
  const std::filesystem::path kitchen = scratch() / std::filesystem::path(u"K\u00fcche");
  std::filesystem::create_directory(kitchen);
  std::ofstream(kitchen / "wood.png") << "image";
  const std::u16string path = (kitchen / "wood.png").u16string();
  std::u16string forward = path;
  std::replace(forward.begin(), forward.end(), u'\\', u'/');
  TextureSlot slot;
  ASSERT_TRUE(slot.SetFile(forward));
  EXPECT_EQ(slot.path(), path);
  EXPECT_EQ(slot.ExportFileName(), u"wood.png");
  const std::optional<std::string> uri = slot.ExportTexture(false, (scratch() / "house_Textures").u16string());
  ASSERT_TRUE(uri);
  EXPECT_EQ(uri->find('\\'), std::string::npos) << *uri;
  EXPECT_TRUE(uri->ends_with("/K\xc3\xbc" "che/wood.png")) << *uri;
}

#else

// Here a backslash is part of a file name: the texture keeps it in its name, its copy and its URI.
TEST_F(TextureSlotTest, ABackslashInAFileNameIsNotASeparator) {
  std::filesystem::create_directory(scratch() / "house_Textures");
  const std::u16string folder = platform::Utf16FromUtf8((scratch() / "house_Textures").string());
  const std::u16string path = WriteFile("plans\\wood.png", 1600000000);
  TextureSlot slot;
  ASSERT_TRUE(slot.SetFile(path));
  EXPECT_EQ(slot.path(), path);
  EXPECT_EQ(slot.ExportFileName(), u"plans\\wood.png");
  EXPECT_EQ(slot.ExportTexture(true, folder), "house_Textures/plans\\wood.png");
  EXPECT_EQ(ReadFile(scratch() / "house_Textures" / "plans\\wood.png"), "image");
  EXPECT_EQ(slot.ExportTexture(false, folder), scratch().string() + "/plans\\wood.png");
}

#endif

}  // namespace

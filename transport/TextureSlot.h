#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// One texture of a surface: a reference to an image file, or an image generated in memory and
// kept as a complete 32- or 24-bit bitmap file, so that the same bytes go to the renderer and to
// the image encoder. The stamp changes whenever the content does. Slots may be created on several
// threads; one slot is used by one thread at a time.
class TextureSlot {
public:
  enum State : uint32_t { kEmpty = 0, kFile = 1, kImage = 2 };

  TextureSlot();
  TextureSlot(const TextureSlot&) = delete;
  TextureSlot& operator=(const TextureSlot&) = delete;

  // Keeps width × height pixels of 3 bytes (4 with alpha) as a bitmap file, rows top to bottom.
  // False, with the slot unchanged, when pixels is null, the bitmap would not fit its 32-bit
  // fields, or memory runs out.
  bool SetImage(uint64_t width, uint64_t height, const uint8_t* pixels, bool hasAlpha);
  // Refers to the file at `path` and stamps it with its last-write time; a missing file or a
  // directory empties the slot. Gives `changed`.
  bool SetFile(std::u16string_view path);
  void Clear();

  State state() const;
  // "%08llx.png" or ".jpg" from the id for an image, the file's name for a file, else empty.
  std::u16string ExportFileName() const;

  uint64_t id() const { return id_; }
  bool changed() const { return changed_; }
  void ResetChanged() { changed_ = false; }
  const std::u16string& path() const { return path_; }
  const uint8_t* image() const { return image_.get(); }
  uint32_t imageSize() const { return imageSize_; }
  bool hasAlpha() const { return hasAlpha_; }
  uint64_t stamp() const { return stamp_; }

  // Puts the texture into the export's textures folder `folder`: a file is copied there (with
  // copyFiles, else referenced where it lies), an image is encoded there by SaveImage at quality
  // 90. Gives the reference to write into the COLLADA file: "<folder's name>/<file name>", relative
  // to the file beside the folder, or the source path, URI-escaped and then XML-escaped as UTF-8.
  // Nothing when the slot is empty or the copy or encoding fails.
  std::optional<std::string> ExportTexture(bool copyFiles, std::u16string_view folder) const;
  // Encodes the image into `path`: PNG with alpha when the image has it, else JPEG at `quality`
  // (1 to 100). False when there is no image or the file cannot be written.
  bool SaveImage(std::u16string_view path, int quality) const;

private:
  void DropImage();

  uint64_t id_;
  bool changed_ = false;
  std::u16string path_;
  std::unique_ptr<uint8_t[]> image_;
  uint32_t imageSize_ = 0;
  bool hasAlpha_ = false;
  uint64_t stamp_ = 0;
};

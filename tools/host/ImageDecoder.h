#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "tools/host/Drawing.h"

#include "platform/ImageDecoder.h"

inline constexpr uint64_t kMaxImagePixels = platform::kMaxDecodedImagePixels;

// Decodes a PNG or JPEG file held in memory through the platform's image unit, into a drawing's
// image: RGBA for a PNG with an alpha channel, RGB otherwise. Safe on untrusted data: a damaged,
// truncated or unknown image gives nothing, with `error` saying why.
std::optional<DrawingImage> DecodeImage(std::span<const uint8_t> encoded, std::string& error);

// Reads and decodes an image file; nothing, with `error` set, when it cannot.
std::optional<DrawingImage> DecodeImageFile(const std::string& path, std::string& error);

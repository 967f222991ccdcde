#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sdk/VGSOperation.h"

// Blocks of the seed documents, and what the scene stream's seeds ask for.
inline constexpr uint64_t kSeedDocumentBlocks = 16;

// A link document of kSeedDocumentBlocks blocks named `name`, after `batches` went through the
// scene stores and one commit, encoded as LinkReaderFuzzer decodes its input: up to four
// segments, then the main mapping without its trailing zeros.
std::vector<uint8_t> CommittedDocumentSeed(const std::vector<std::vector<VGS::Operation>>& batches,
                                           const std::u16string& name);

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "renderer/RendererVersion.h"

// The ss number that asks for no link reference on the command line.
inline constexpr uint32_t kNoSsNumber = 0xFFFFFFFF;

// Starts the installed renderer of exactly `version` (the first entry of the uninstall list with
// that version supplies the folder) maximised, in its install folder, without waiting for it.
// With a document path it is asked to open that document; otherwise, unless `ssNumber` is
// kNoSsNumber, to join the live link as "/ref:[TideLink] /ss:[N]". True when the process was
// created; false, with nothing started, for the none version, no matching entry, an entry
// without install location, a program that cannot be started there, or a command line too long.
bool LaunchRenderer(const RendererVersion& version, std::u16string_view documentPath, uint32_t ssNumber);

// The command line LaunchRenderer hands to `executable`: the program in quotes, then the quoted
// document path, the link reference, or nothing. Nothing when it exceeds 32767 units.
std::optional<std::u16string> RendererCommandLine(std::u16string_view executable, std::u16string_view documentPath,
                                                  uint32_t ssNumber);

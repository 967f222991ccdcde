#pragma once

// What the renderer must show for the host's account of its drawing (the link command's
// --expected-states lines), worked out from the host's own transforms and materials, never from
// the plug-in's code; shared by the end-to-end tests that read the renderer's history.

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// One JSON document per non-empty line of the file.
std::vector<nlohmann::json> ReadJsonLines(const std::filesystem::path& path);

// Empty when every step of `expected` from index `firstStep` on that the host reports with the
// link running appears among the renderer's updates in `history`, in order; otherwise which step
// was never mirrored and how the last update differs from it. Earlier steps only move the camera.
std::string UnmirroredSteps(const std::vector<nlohmann::json>& expected, const std::vector<nlohmann::json>& history,
                            size_t firstStep = 0);

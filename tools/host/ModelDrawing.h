#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/host/Drawing.h"

// The axis that points up in a model file.
enum class UpAxis { kY, kZ };

// Reads any 3D file that Assimp reads and turns it into the host's drawing: each distinct list of
// meshes that nodes show becomes a geometry (one surface per mesh, solid when closed), each node
// that shows meshes an instance with its world transform and one material per surface, and each
// material carries its name, diffuse colour, opacity, diffuse image and opacity image (embedded or
// beside the file; PNG and JPEG). Lengths become millimetres and Z points up. The file's unit is
// taken from its metadata where the format records it (FBX), else metres. Its up axis is `upAxis`
// when given, else the one its metadata records (FBX), else the one of its format's convention:
// Z for STL and PLY (the formats of CAD and scanning tools), Y for every other. The drawing's
// `axes` say which up axis was used and why.
//
// Nothing, with `error` saying why, when the file cannot be read or shows no triangles. Problems
// that only lose detail (an image that cannot be decoded) are added to `warnings`.
// A host built without Assimp (TIDELINK_MODEL_IMPORT off, as on Windows) reads no file: it gives
// nothing, with `error` saying so.
std::optional<Drawing> LoadModelDrawing(const std::string& path, std::optional<UpAxis> upAxis, std::string& error,
                                        std::vector<std::string>& warnings);
// The up axis that files of this name's format have by convention (by its extension, any case).
UpAxis ConventionalUpAxis(const std::string& path);

// Whether this build reads model files; without it the host plays only the built-in sample
// drawing and edit scripts.
bool ModelImportAvailable();

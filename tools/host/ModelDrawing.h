#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/host/Drawing.h"

// Reads any 3D file that Assimp reads and turns it into the host's drawing: each distinct list of
// meshes that nodes show becomes a geometry (one surface per mesh, solid when closed), each node
// that shows meshes an instance with its world transform and one material per surface, and each
// material carries its name, diffuse colour, opacity, diffuse image and opacity image (embedded or
// beside the file; PNG and JPEG). Lengths become millimetres and Z points up: the file's unit and
// axes are taken from its metadata where the format records them (FBX), else metres with Y up.
//
// Nothing, with `error` saying why, when the file cannot be read or shows no triangles. Problems
// that only lose detail (an image that cannot be decoded) are added to `warnings`.
// A host built without Assimp (TIDELINK_MODEL_IMPORT off, as on Windows) reads no file: it gives
// nothing, with `error` saying so.
std::optional<Drawing> LoadModelDrawing(const std::string& path, std::string& error,
                                        std::vector<std::string>& warnings);

// Whether this build reads model files; without it the host plays only the built-in sample
// drawing and edit scripts.
bool ModelImportAvailable();

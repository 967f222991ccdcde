#pragma once

#include <string>

#include "tools/renderer/MirroredScene.h"

// A JSON summary of the mirrored scene: per surface its identity, material, textures and mesh
// counts; the camera; and every problem the reader found. Meant for people and for tests.
std::string SceneToJson(const MirroredScene& scene);

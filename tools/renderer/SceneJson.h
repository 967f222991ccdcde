#pragma once

#include <string>

#include "tools/renderer/MirroredScene.h"

// A JSON summary of the mirrored scene on one line: per surface its identity, material, textures,
// mesh counts and the bounds of its positions in link coordinates; the camera; and every problem
// the reader found. Meant for people and for tests.
std::string SceneToJson(const MirroredScene& scene);

#pragma once

// What the build put into the stand-in host. Without model import (TIDELINK_MODEL_IMPORT off, as
// on Windows) it sends only the built-in sample drawing, and tests that send a model file skip.
inline constexpr bool kHostReadsModels = TIDELINK_HOST_READS_MODELS;
inline constexpr const char* kWithoutModelImport = "tidelink-host was built without model import (Assimp)";

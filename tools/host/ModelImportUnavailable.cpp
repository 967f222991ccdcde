// The model reader of a host built without Assimp.
#include "tools/host/ModelDrawing.h"

std::optional<Drawing> LoadModelDrawing(const std::string& path, std::optional<UpAxis>, std::string& error,
                                        std::vector<std::string>&) {
  error = "cannot read " + path + ": this tidelink-host was built without model import (Assimp); it sends only "
          "the built-in sample drawing";
  return std::nullopt;
}

bool ModelImportAvailable() { return false; }

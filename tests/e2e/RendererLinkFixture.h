#pragma once

// The plug-in's side of a link in the test's process, for tests that run the stand-in renderer
// as a real process beside it, on any platform and on POSIX alone.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/ProcessList.h"
#include "tests/support/BackgroundProcess.h"
#include "tests/support/TestEnvironment.h"
#include "transport/TideLinkDocument.h"
#include "transport/TideLinkDocumentManager.h"
#include "transport/TideLinkSurface.h"

// A grid of `quads` unit squares in one row: 4 vertices and 2 triangles each.
inline TideLinkMesh Strip(uint32_t quads) {
  TideLinkMesh mesh = TideLinkMesh::Create(4ull * quads, 6ull * quads, 1);
  for (uint32_t quad = 0; quad < quads; ++quad) {
    const float corners[4][3] = {{float(quad), 0, 0}, {float(quad + 1), 0, 0}, {float(quad + 1), 1, 0}, {float(quad), 1, 0}};
    for (uint32_t corner = 0; corner < 4; ++corner) {
      std::copy(corners[corner], corners[corner] + 3, &mesh.positions[(4 * quad + corner) * 3]);
      mesh.normals[(4 * quad + corner) * 3 + 2] = 1;
    }
    const uint32_t first = 4 * quad;
    const uint32_t indices[6] = {first, first + 1, first + 2, first, first + 2, first + 3};
    std::copy(indices, indices + 6, &mesh.indices[6 * quad]);
  }
  return mesh;
}

class RendererLinkFixture : public TestEnvironment {
protected:
  void SetUp() override {
    TestEnvironment::SetUp();
    name_ = u"C:\\Drawings\\tlrender" + std::u16string(u"") + Digits(platform::GetCurrentProcessId()) + u".vwx";
  }
  void TearDown() override {
    if (document_) TideLinkDocumentManager::Instance().CloseDocument(document_);
    TestEnvironment::TearDown();
  }
  static std::u16string Digits(int number) {
    const std::string text = std::to_string(number);
    return {text.begin(), text.end()};
  }
  std::string Renderer(const std::string& options) const {
    return (binaryDirectory() / "Ombrel.exe").string() + " " + options;
  }

  std::u16string name_;
  std::shared_ptr<TideLinkDocument> document_;
};

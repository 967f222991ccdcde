#pragma once

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "tests/transport/TransportTestSupport.h"
#include "tools/renderer/LinkReader.h"

// One document per test, created before it and mapped as the renderer maps it.
class TideLinkDocumentFixture : public TransportTest {
protected:
  void SetUp() override {
    TransportTest::SetUp();
    document_ = Open();
    base_ = MapAsReader(DocumentName());
  }
  void TearDown() override {
    document_.reset();
    TransportTest::TearDown();
  }
  // Data block `index` of the reader's view.
  const uint8_t* Block(size_t index) const { return base_ + 2048 + 2048 * index; }
  uint32_t HeaderVersion() const { return U32(base_, 16); }

  static TideLinkMesh Triangles(uint32_t count) {
    TideLinkMesh mesh = TideLinkMesh::Create(3 * count, 3 * count, 1);
    for (uint32_t index = 0; index < 3 * count; ++index) {
      mesh.indices[index] = index;
      mesh.positions[3 * index] = static_cast<float>(index);
    }
    return mesh;
  }
  // What the renderer's own reader makes of a document; its problems must be empty.
  static MirroredScene ReadAsRenderer(const std::u16string& name) {
    LinkReader reader;
    std::string problem;
    MirroredScene scene;
    EXPECT_TRUE(reader.Open(name, problem)) << problem;
    EXPECT_TRUE(reader.Read(scene));
    EXPECT_EQ(scene.problems, std::vector<std::string>{});
    return scene;
  }
  size_t LogLinesWith(const std::string& text) const {
    std::ifstream log(debugLogPath());
    size_t count = 0;
    for (std::string line; std::getline(log, line);) count += line.find(text) != std::string::npos;
    return count;
  }
  bool HasConnectionValue() const {
    platform::RegistryKey key;
    uint32_t size = 4, value = 0;
    return platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser,
                                       u"Software\\Brisca\\LiveConnections", key) == 0 &&
           key.QueryValue(DocumentName(), nullptr, &value, &size) == 0 && value == 1;
  }

  std::shared_ptr<TideLinkDocumentImpl> document_;
  const uint8_t* base_ = nullptr;
};

#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"
#include "tests/transport/TransportTestSupport.h"
#include "transport/TideLinkDocumentManager.h"

// Documents opened through the manager, closed again after each test, and the registry key in
// which the manager announces them.
class TideLinkDocumentManagerFixture : public TransportTest {
protected:
  static constexpr std::u16string_view kConnections = u"Software\\Brisca\\LiveConnections";

  void TearDown() override {
    for (const auto& document : opened_) manager().CloseDocument(document);
    opened_.clear();
    TransportTest::TearDown();
  }

  static TideLinkDocumentManager& manager() { return TideLinkDocumentManager::Instance(); }

  std::shared_ptr<TideLinkDocument> OpenThroughManager(const std::u16string& name) {
    auto document = manager().OpenDocument(name, 16);
    if (document) opened_.push_back(document);
    return document;
  }

  static void Announce(std::u16string_view name, uint32_t type, const void* data, uint32_t size) {
    platform::RegistryKey key;
    ASSERT_EQ(platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, kConnections, key), 0);
    ASSERT_EQ(key.SetValue(name, type, data, size), 0);
  }

  static bool IsAnnounced(std::u16string_view name) {
    platform::RegistryKey key;
    if (platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, kConnections, key) != 0) return false;
    uint32_t size = 0;
    return key.QueryValue(name, nullptr, nullptr, &size) == 0;
  }

  // The transport peer, copied under another file name: the image path decides what it is.
  // TRANSPORT_PEER is defined by the suite that builds the peer.
  std::string PeerNamed(const std::string& fileName) const {
    const auto target = scratch() / fileName;
    std::filesystem::copy_file(TRANSPORT_PEER, target);
    return target.string();
  }

  std::vector<std::shared_ptr<TideLinkDocument>> opened_;
};

#pragma once

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "sdk/HostServices.h"

// A scripted host for driving the module entry in-process: it answers the callback entry, counts
// binds and references, and records registrations and resource lookups.
class TestHost {
public:
  TestHost();
  ~TestHost();

  static intptr_t Callback(int32_t function, void* arguments);

  int16_t majorVersion = 25;
  bool offerSdk = true;
  bool offerRegistry = true;
  bool offerResources = true;
  intptr_t mainWindow = 0;  // answer to HostFunction::kGetMainWindow; 0 offers none
  std::u16string versionTexts[2] = {u"25.1.2", u"(test)"};  // the SDK's two version texts

  int bindCalls = 0;
  int lastBindRequest = 0;
  int lastBindVersion = 0;
  std::string lastPartitionName;

  struct Registration {
    VWIID ownId;
    VWIID kindId;
  };
  std::vector<Registration> registrations;

  struct Lookup {
    std::u16string resource;
    std::u16string key;
    int32_t emptyHandling;
  };
  std::vector<Lookup> lookups;
  std::map<std::u16string, std::u16string> texts;  // key → text
  bool textsEchoKeys = false;  // a key without a text is answered with the key itself
  // Further services a test offers, looked up by ID after the built-in ones.
  std::vector<std::pair<VWIID, IVWUnknown*>> services;

  // References the module currently holds to any service.
  int heldReferences() const { return references_; }

private:
  template <class Interface>
  struct Counted : Interface {
    explicit Counted(TestHost& host) : host(host) {}
    uint32_t AddRef() override { return ++host.references_; }
    uint32_t Release() override { return --host.references_; }
    TestHost& host;
  };
  struct Sdk : Counted<ISDK> {
    using Counted::Counted;
    void GetHostVersion(int16_t& major, int16_t& minor, int16_t& maintenance) override;
    void GetVersionTexts(TXString& first, TXString& second) override;
  };
  struct Registry : Counted<IExtensionRegistry> {
    using Counted::Counted;
    bool RegisterExtension(VWModuleInfo*, const VWIID& ownId, const VWIID& kindId, bool) override;
  };
  struct Resources : Counted<IResourceService> {
    using Counted::Counted;
    TXString GetString(const TXString& resource, const TXString& key, int32_t emptyHandling) override;
    bool HasImage(const TXString&) override { return false; }
  };

  intptr_t Dispatch(int32_t function, void* arguments);

  std::atomic<int> references_{0};
  Sdk sdk_{*this};
  Registry registry_{*this};
  Resources resources_{*this};
};

#include "tests/support/TestHost.h"

namespace {
TestHost* gTestHost = nullptr;
}

TestHost::TestHost() { gTestHost = this; }
TestHost::~TestHost() { gTestHost = nullptr; }

intptr_t TestHost::Callback(int32_t function, void* arguments) {
  return gTestHost ? gTestHost->Dispatch(function, arguments) : 0;
}

intptr_t TestHost::Dispatch(int32_t function, void* arguments) {
  switch (function) {
    case HostFunction::kBindModule: {
      auto* bind = static_cast<BindModuleArguments*>(arguments);
      ++bindCalls;
      lastBindRequest = bind->request;
      lastBindVersion = bind->moduleVersion;
      return 1;
    }
    case HostFunction::kFindMemoryPartition: {
      auto* find = static_cast<FindMemoryPartitionArguments*>(arguments);
      lastPartitionName = find->name;
      find->partition = this;
      return 1;
    }
    case HostFunction::kQueryInterface: {
      auto* query = static_cast<QueryInterfaceArguments*>(arguments);
      IVWUnknown* service = nullptr;
      if (query->iid == IID_SDK && offerSdk) service = &sdk_;
      if (query->iid == IID_ExtensionRegistry && offerRegistry) service = &registry_;
      if (query->iid == IID_ResourceService && offerResources) service = &resources_;
      for (const auto& [iid, offered] : services) {
        if (!service && query->iid == iid) service = offered;
      }
      if (service) service->AddRef();
      query->service = service;
      return service ? 1 : 0;
    }
    case HostFunction::kGetMainWindow:
      return mainWindow;
    default:
      return 0;
  }
}

void TestHost::Sdk::GetHostVersion(int16_t& major, int16_t& minor, int16_t& maintenance) {
  major = host.majorVersion;
  minor = 1;
  maintenance = 2;
}

void TestHost::Sdk::GetVersionTexts(TXString& first, TXString& second) {
  first = TXString(host.versionTexts[0]);
  second = TXString(host.versionTexts[1]);
}

bool TestHost::Registry::RegisterExtension(VWModuleInfo*, const VWIID& ownId, const VWIID& kindId, bool) {
  host.registrations.push_back({ownId, kindId});
  return false;  // a refusal the module must not pass on
}

TXString TestHost::Resources::GetString(const TXString& resource, const TXString& key, int32_t emptyHandling) {
  host.lookups.push_back({resource.GetStdUString(), key.GetStdUString(), emptyHandling});
  const auto found = host.texts.find(key.GetStdUString());
  if (found != host.texts.end()) return TXString(found->second);
  return host.textsEchoKeys ? key : TXString();
}

#include "module/ExtensionTable.h"

#include <new>

#include "module/CMenuTideLinkExport.h"
#include "module/OmbrelExtTool.h"
#include "module/OmbrelExtVS.h"
#include "sdk/ExtensionKinds.h"
#include "sdk/HostBinding.h"

namespace ExtensionTable {
namespace {

struct Extension {
  VWIID ownId;
  VWIID kindId;
  bool offeredWhenReduced;
  VWExtension* (*create)(CallBackPtr callback);
  // Null when `object` is not of the extension's class.
  VWExtension* (*asInstance)(IVWUnknown* object);
};

template <class Class>
VWExtension* Create(CallBackPtr callback) {
  return new Class(callback);
}

template <class Class>
VWExtension* AsInstance(IVWUnknown* object) {
  return dynamic_cast<Class*>(object);
}

// In the order the host is told about them and asked for them.
const Extension kExtensions[] = {
    {{0xCD594A95, 0x6495, 0x44C3, {0xB2, 0x37, 0xBB, 0xDB, 0x99, 0x4A, 0xDE, 0xF3}},
     IID_ExtensionKindScriptFunctions,
     false, Create<VGS_Ombrel::OmbrelExtVS>, AsInstance<VGS_Ombrel::OmbrelExtVS>},
    {{0xFC2D07BD, 0x0DE7, 0x4C62, {0xB9, 0xBB, 0xF0, 0x22, 0x30, 0x0A, 0x86, 0xFB}},
     IID_ExtensionKindMenu,
     false, Create<VGS_Ombrel::CMenuTideLinkExport>, AsInstance<VGS_Ombrel::CMenuTideLinkExport>},
    {{0x540685FF, 0x8FC4, 0x4A95, {0x90, 0x6E, 0x24, 0x31, 0x28, 0xE9, 0xC2, 0x61}},
     IID_ExtensionKindTool,
     true, Create<VGS_Ombrel::OmbrelExtTool>, AsInstance<VGS_Ombrel::OmbrelExtTool>},
};

const Extension* FindOffered(const VWIID& iid, bool fullyEnabled) {
  for (const Extension& extension : kExtensions) {
    if ((fullyEnabled || extension.offeredWhenReduced) && extension.ownId == iid) return &extension;
  }
  return nullptr;
}

}  // namespace

void RegisterExtensions(VWModuleInfo* moduleInfo, bool fullyEnabled) {
  auto registry = HostBinding::Query<IExtensionRegistry>(IID_ExtensionRegistry);
  if (!registry) return;
  for (const Extension& extension : kExtensions) {
    if (fullyEnabled || extension.offeredWhenReduced) {
      registry->RegisterExtension(moduleInfo, extension.ownId, extension.kindId, true);
    }
  }
}

int32_t CreateExtension(const VWIID& iid, IVWUnknown*& slot, CallBackPtr callback, bool fullyEnabled) {
  const Extension* extension = FindOffered(iid, fullyEnabled);
  if (!extension) return kResultSuccess;
  try {
    slot = extension->create(callback);
  } catch (const std::bad_alloc&) {
    slot = nullptr;
  }
  return slot ? kResultSuccess : kResultFailed;
}

int32_t ReleaseExtension(const VWIID& iid, IVWUnknown*& slot, bool fullyEnabled) {
  const Extension* extension = FindOffered(iid, fullyEnabled);
  if (!extension) return kResultSuccess;
  VWExtension* object = extension->asInstance(slot);
  if (!object) return kResultFailed;
  delete object;
  // The host keeps the slot after the call; a dangling pointer there would invite a double free.
  slot = nullptr;
  return kResultSuccess;
}

}  // namespace ExtensionTable

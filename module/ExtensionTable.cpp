#include "module/ExtensionTable.h"

#include <new>

#include "module/CMenuTideLinkExport.h"
#include "sdk/HostBinding.h"
#include "module/OmbrelExtTool.h"
#include "module/OmbrelExtVS.h"

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
     {0x698FD687, 0xE472, 0x4ECE, {0x95, 0x81, 0x7A, 0xBB, 0x73, 0xE8, 0x5A, 0x4A}},
     false, Create<VGS_Ombrel::OmbrelExtVS>, AsInstance<VGS_Ombrel::OmbrelExtVS>},
    {{0xFC2D07BD, 0x0DE7, 0x4C62, {0xB9, 0xBB, 0xF0, 0x22, 0x30, 0x0A, 0x86, 0xFB}},
     {0x74253F0F, 0xAC9A, 0x4411, {0x9B, 0xC1, 0xD3, 0x88, 0xD4, 0xAD, 0x97, 0xD0}},
     false, Create<VGS_Ombrel::CMenuTideLinkExport>, AsInstance<VGS_Ombrel::CMenuTideLinkExport>},
    {{0x540685FF, 0x8FC4, 0x4A95, {0x90, 0x6E, 0x24, 0x31, 0x28, 0xE9, 0xC2, 0x61}},
     {0xA90DECBC, 0x4893, 0x48EE, {0xA1, 0xB2, 0xCE, 0x20, 0xE3, 0x71, 0x97, 0x2C}},
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

#include <gtest/gtest.h>

#include "module/CMenuTideLinkExport.h"
#include "module/OmbrelExtTool.h"
#include "module/OmbrelExtVS.h"
#include "sdk/ExtensionKinds.h"
#include "sdk/ModuleEntryPoints.h"
#include "tests/support/TestHost.h"
#include "tests/support/TestEnvironment.h"

extern "C" int32_t plugin_module_main(int32_t, VWModuleInfo*, const VWIID*, IVWUnknown*&, CallBackPtr);
extern "C" int32_t plugin_module_ver();
extern "C" void plugin_module_deinit();

namespace {

constexpr VWIID kScriptFunctionsId{0xCD594A95, 0x6495, 0x44C3, {0xB2, 0x37, 0xBB, 0xDB, 0x99, 0x4A, 0xDE, 0xF3}};
constexpr const VWIID& kScriptFunctionsKind = IID_ExtensionKindScriptFunctions;
constexpr VWIID kMenuId{0xFC2D07BD, 0x0DE7, 0x4C62, {0xB9, 0xBB, 0xF0, 0x22, 0x30, 0x0A, 0x86, 0xFB}};
constexpr const VWIID& kMenuKind = IID_ExtensionKindMenu;
constexpr VWIID kToolId{0x540685FF, 0x8FC4, 0x4A95, {0x90, 0x6E, 0x24, 0x31, 0x28, 0xE9, 0xC2, 0x61}};
constexpr const VWIID& kToolKind = IID_ExtensionKindTool;
constexpr VWIID kUnknownId{0x01234567, 0x89AB, 0xCDEF, {0, 1, 2, 3, 4, 5, 6, 7}};

// An object of the host's own making, of no class the module knows.
struct ForeignObject : IVWUnknown {
  uint32_t AddRef() override { return 1; }
  uint32_t Release() override { return 1; }
};

class ModuleEntryTest : public TestEnvironment {
protected:
  void TearDown() override {
    plugin_module_deinit();
    EXPECT_EQ(host.heldReferences(), 0) << "the module kept a host service after deinit";
    TestEnvironment::TearDown();
  }

  int32_t Call(int32_t action, const VWIID* iid, IVWUnknown*& slot) {
    return plugin_module_main(action, nullptr, iid, slot, &TestHost::Callback);
  }

  TestHost host;
};

TEST_F(ModuleEntryTest, RegistersAllThreeExtensionsInOrderOnTheSupportedHost) {
  IVWUnknown* slot = nullptr;
  EXPECT_EQ(Call(kModuleActionRegister, nullptr, slot), 0) << "a refusal by the host is not passed on";
  ASSERT_EQ(host.registrations.size(), 3u);
  EXPECT_EQ(host.registrations[0].ownId, kScriptFunctionsId);
  EXPECT_EQ(host.registrations[0].kindId, kScriptFunctionsKind);
  EXPECT_EQ(host.registrations[1].ownId, kMenuId);
  EXPECT_EQ(host.registrations[1].kindId, kMenuKind);
  EXPECT_EQ(host.registrations[2].ownId, kToolId);
  EXPECT_EQ(host.registrations[2].kindId, kToolKind);
}

TEST_F(ModuleEntryTest, RegistersOnlyTheToolOnOtherHostVersionsOrWithoutTheSdkObject) {
  for (auto configure : {+[](TestHost& h) { h.majorVersion = 24; },
                         +[](TestHost& h) { h.majorVersion = 26; },
                         +[](TestHost& h) { h.offerSdk = false; }}) {
    host.registrations.clear();
    host.majorVersion = 25;
    host.offerSdk = true;
    configure(host);
    IVWUnknown* slot = nullptr;
    EXPECT_EQ(Call(kModuleActionRegister, nullptr, slot), 0);
    ASSERT_EQ(host.registrations.size(), 1u);
    EXPECT_EQ(host.registrations[0].ownId, kToolId);
  }
}

TEST_F(ModuleEntryTest, RegistrationIsSkippedSilentlyWithoutTheRegistrationService) {
  host.offerRegistry = false;
  IVWUnknown* slot = nullptr;
  EXPECT_EQ(Call(kModuleActionRegister, nullptr, slot), 0);
  EXPECT_TRUE(host.registrations.empty());
}

TEST_F(ModuleEntryTest, EachExtensionIsCreatedAsItsOwnClassAndReleasedAgain) {
  IVWUnknown* slot = nullptr;
  ASSERT_EQ(Call(kModuleActionCreate, &kScriptFunctionsId, slot), 0);
  EXPECT_NE(dynamic_cast<VGS_Ombrel::OmbrelExtVS*>(slot), nullptr);
  EXPECT_EQ(Call(kModuleActionRelease, &kScriptFunctionsId, slot), 0);
  EXPECT_EQ(slot, nullptr);

  ASSERT_EQ(Call(kModuleActionCreate, &kMenuId, slot), 0);
  EXPECT_NE(dynamic_cast<VGS_Ombrel::CMenuTideLinkExport*>(slot), nullptr);
  EXPECT_EQ(Call(kModuleActionRelease, &kMenuId, slot), 0);

  ASSERT_EQ(Call(kModuleActionCreate, &kToolId, slot), 0);
  EXPECT_NE(dynamic_cast<VGS_Ombrel::OmbrelExtTool*>(slot), nullptr);
  EXPECT_EQ(Call(kModuleActionRelease, &kToolId, slot), 0);
}

TEST_F(ModuleEntryTest, UnknownOrNotOfferedIdsLeaveTheSlotUntouched) {
  ForeignObject marker;
  IVWUnknown* slot = &marker;
  EXPECT_EQ(Call(kModuleActionCreate, &kUnknownId, slot), 0);
  EXPECT_EQ(slot, &marker);
  EXPECT_EQ(Call(kModuleActionCreate, nullptr, slot), 0);
  EXPECT_EQ(slot, &marker);

  host.majorVersion = 24;
  EXPECT_EQ(Call(kModuleActionCreate, &kScriptFunctionsId, slot), 0);
  EXPECT_EQ(slot, &marker);
  EXPECT_EQ(Call(kModuleActionCreate, &kMenuId, slot), 0);
  EXPECT_EQ(slot, &marker);
  EXPECT_EQ(Call(kModuleActionRelease, &kMenuId, slot), 0) << "nothing offered, nothing to check";
  EXPECT_EQ(slot, &marker);
}

TEST_F(ModuleEntryTest, ReleasingAnObjectOfAnotherClassGives12AndDestroysNothing) {
  IVWUnknown* menu = nullptr;
  ASSERT_EQ(Call(kModuleActionCreate, &kMenuId, menu), 0);

  IVWUnknown* slot = menu;
  EXPECT_EQ(Call(kModuleActionRelease, &kToolId, slot), 12);
  EXPECT_EQ(slot, menu);
  EXPECT_EQ(Call(kModuleActionRelease, &kScriptFunctionsId, slot), 12);

  ForeignObject foreign;
  IVWUnknown* foreignSlot = &foreign;
  EXPECT_EQ(Call(kModuleActionRelease, &kToolId, foreignSlot), 12);
  IVWUnknown* empty = nullptr;
  EXPECT_EQ(Call(kModuleActionRelease, &kToolId, empty), 12);

  // The menu object survived every refused release and still goes away normally.
  EXPECT_EQ(dynamic_cast<VGS_Ombrel::CMenuTideLinkExport*>(slot)->GetUniversalName(),
            std::u16string_view(u"OmbrelTideLinkExport"));
  EXPECT_EQ(Call(kModuleActionRelease, &kMenuId, slot), 0);
}

TEST_F(ModuleEntryTest, EveryCallBindsTheHostAndOtherActionsDoNothingElse) {
  IVWUnknown* slot = nullptr;
  for (int32_t action : {-2, -1, 0, 1, 7, 1000}) {
    EXPECT_EQ(Call(action, &kToolId, slot), 0);
    EXPECT_EQ(slot, nullptr);
  }
  EXPECT_EQ(host.bindCalls, 6);
  EXPECT_EQ(host.lastBindRequest, 499);
  EXPECT_EQ(host.lastBindVersion, 2500);
  EXPECT_EQ(host.lastPartitionName, "VWMainPartition");
  EXPECT_TRUE(host.registrations.empty());
  EXPECT_EQ(host.heldReferences(), 1) << "only the SDK object of the latest binding is kept";
}

TEST_F(ModuleEntryTest, AMissingCallbackLeavesTheModuleReducedAndUnbound) {
  IVWUnknown* slot = nullptr;
  EXPECT_EQ(plugin_module_main(kModuleActionRegister, nullptr, nullptr, slot, nullptr), 0);
  EXPECT_EQ(plugin_module_main(kModuleActionCreate, nullptr, &kScriptFunctionsId, slot, nullptr), 0);
  EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(plugin_module_main(kModuleActionCreate, nullptr, &kToolId, slot, nullptr), 0);
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(plugin_module_main(kModuleActionRelease, nullptr, &kToolId, slot, nullptr), 0);
  EXPECT_EQ(host.bindCalls, 0);
}

TEST_F(ModuleEntryTest, ModuleVersionIs2500) { EXPECT_EQ(plugin_module_ver(), 2500); }

}  // namespace

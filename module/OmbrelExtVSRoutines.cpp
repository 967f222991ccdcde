#include "module/OmbrelExtVSRoutines.h"

#include <array>
#include <optional>
#include <string_view>

#include "link/OmbrelPlugin.h"
#include "link/SettingsDialogAccess.h"
#include "sdk/HostBinding.h"
#include "ui/DialogUI.h"

namespace VGS_Ombrel {
namespace {

constexpr std::array<VSFunctionDefinition, 7> kFunctions{{
    {u"TideLink_Start", u"Start TideLink to view your project in Ombrel"},
    {u"TideLink_Stop", u"Stop Tide Link"},
    {u"TideLink_CameraStart", u"Start camera synchronization"},
    {u"TideLink_CameraStop", u"Stop camera synchronization with Ombrel"},
    {u"TideLink_SaveAsCollada", u"Save as Ombrel Collada"},
    {u"TideLink_About", u"About Ombrel TideLink"},
    {u"TideLink_Settings", u"Ombrel TideLink settings"},
}};

// The result of the function, or nothing when no function of that name runs here.
std::optional<bool> RunByName(std::u16string_view name) {
  if (name == u"TideLink_About") {
    DialogUI::Instance().ShowAbout();
    return true;
  }
  if (name == u"TideLink_Start") return OmbrelPlugin::Instance().Start();
  if (name == u"TideLink_Stop") {
    OmbrelPlugin::Instance().Stop(false);
    return true;
  }
  if (name == u"TideLink_CameraStart") return OmbrelPlugin::Instance().SetCameraSync(true);
  if (name == u"TideLink_CameraStop") {
    OmbrelPlugin::Instance().SetCameraSync(false);
    return true;
  }
  if (name == u"TideLink_SaveAsCollada") {
    OmbrelPlugin::Instance().SaveAsCollada();
    return true;
  }
  if (name == u"TideLink_Settings") {
    SettingsDialogAccess settings;
    DialogUI::Instance().ShowSettings(settings);
    return true;
  }
  return std::nullopt;
}

}  // namespace

Sequence<VSFunctionDefinition> ScriptFunctionTable() { return {kFunctions.data(), kFunctions.size()}; }

void OmbrelExtVSRoutines::Run(int32_t functionIndex, void* callRecord) {
  if (functionIndex < 0 || static_cast<size_t>(functionIndex) >= kFunctions.size()) return;
  const std::optional<bool> result = RunByName(kFunctions[functionIndex].name);
  if (!result) return;
  if (auto scripting = HostBinding::Query<IScriptingService>(IID_ScriptingService)) {
    scripting->SetBooleanResult(callRecord, *result);
  }
}

}  // namespace VGS_Ombrel

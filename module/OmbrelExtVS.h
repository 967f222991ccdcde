#pragma once

#include "module/OmbrelExtVSRoutines.h"
#include "sdk/VWExtension.h"

namespace VGS_Ombrel {

// The set of script functions. Creating it brings up the link controller.
class OmbrelExtVS : public VWExtensionVSFunctions {
public:
  explicit OmbrelExtVS(CallBackPtr callback);
  const char16_t* GetUniversalName() const override { return u"OmbrelExtVSFuncs"; }
  Sequence<VSFunctionDefinition> GetFunctionTable() const override { return ScriptFunctionTable(); }
  const char16_t* GetCategory() const override { return u"Ombrel TideLink"; }
  VWPluginLibraryRoutine* GetRoutine() override { return &routines_; }

private:
  OmbrelExtVSRoutines routines_;
};

}  // namespace VGS_Ombrel

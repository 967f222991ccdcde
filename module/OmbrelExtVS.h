#pragma once

#include "sdk/VWExtension.h"

namespace VGS_Ombrel {

// The set of script functions. Creating it brings up the link controller.
class OmbrelExtVS : public VWExtensionVSFunctions {
public:
  explicit OmbrelExtVS(CallBackPtr callback);
  const char16_t* GetUniversalName() const override { return u"OmbrelExtVSFuncs"; }
};

}  // namespace VGS_Ombrel

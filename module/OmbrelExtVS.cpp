#include "module/OmbrelExtVS.h"

#include "link/OmbrelPlugin.h"

namespace VGS_Ombrel {

OmbrelExtVS::OmbrelExtVS(CallBackPtr callback) : VWExtensionVSFunctions(callback) {
  OmbrelPlugin::Instance();
}

}  // namespace VGS_Ombrel

#include "link/OmbrelPlugin.h"

OmbrelPlugin& OmbrelPlugin::Instance() {
  // A function-local static is built once even when threads race, and its destructor runs when
  // the module is unloaded.
  static OmbrelPlugin instance;
  return instance;
}

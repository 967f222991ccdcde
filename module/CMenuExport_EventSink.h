#pragma once

#include "sdk/VWExtension.h"

namespace VGS_Ombrel {

// Choosing the menu command saves the drawing as COLLADA.
class CMenuExport_EventSink : public VWMenu_EventSink {
public:
  void DoInterface() override;
};

}  // namespace VGS_Ombrel

#pragma once

#include "sdk/VWExtension.h"

namespace VGS_Ombrel {

// The menu command that saves the drawing as COLLADA.
class CMenuTideLinkExport : public VWExtensionMenu {
public:
  using VWExtensionMenu::VWExtensionMenu;
  const char16_t* GetUniversalName() const override { return u"OmbrelTideLinkExport"; }
};

}  // namespace VGS_Ombrel

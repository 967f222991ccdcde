#pragma once

#include "module/CMenuExport_EventSink.h"
#include "sdk/VWExtension.h"

namespace VGS_Ombrel {

// The menu command that saves the drawing as COLLADA.
class CMenuTideLinkExport : public VWExtensionMenu {
public:
  using VWExtensionMenu::VWExtensionMenu;
  const char16_t* GetUniversalName() const override { return u"OmbrelTideLinkExport"; }

protected:
  std::unique_ptr<VWMenu_EventSink> CreateEventSink() override { return std::make_unique<CMenuExport_EventSink>(); }
};

}  // namespace VGS_Ombrel

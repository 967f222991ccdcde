#pragma once

#include "module/OmbrelExtTool_EventSink.h"
#include "sdk/VWExtension.h"

namespace VGS_Ombrel {

// The tool whose mode bar carries the link buttons; offered on every host version.
class OmbrelExtTool : public VWExtensionTool {
public:
  using VWExtensionTool::VWExtensionTool;
  const char16_t* GetUniversalName() const override { return u"OmbrelTideLinkTool"; }

protected:
  std::unique_ptr<VWTool_EventSink> CreateEventSink() override { return std::make_unique<OmbrelExtTool_EventSink>(); }
};

}  // namespace VGS_Ombrel

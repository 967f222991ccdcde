#pragma once

#include "sdk/VWExtension.h"

namespace VGS_Ombrel {

// The tool's mode bar: the about button, then, on the fully supported host, the link button for
// the link state, the camera button, settings and save; elsewhere only a version warning. It holds
// no state: every build reads the link controller afresh.
class OmbrelExtTool_EventSink : public VWTool_EventSink {
public:
  static constexpr std::u16string_view kDisplayName = u"Ombrel TideLink";

  void SetupModeBar() override;
  void HandleModeBarButton(int32_t index, int32_t choice) override;
  // Answers the controller's refresh message by having the host rebuild the mode bar; every
  // other message goes to the base class.
  int32_t OnToolMessage(int32_t message) override;
};

}  // namespace VGS_Ombrel

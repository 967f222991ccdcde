#include "link/PaneLabelUI.h"

#include "link/OmbrelPlugin.h"
#include "sdk/HostBinding.h"
#include "sdk/ResourceStrings.h"

namespace {

constexpr std::u16string_view kAboutImage = u"OmbrelTideLinkForVectorworks/Images/label_about.png";
constexpr std::u16string_view kCameraStartImage = u"OmbrelTideLinkForVectorworks/Images/label_camera_start.png";
constexpr std::u16string_view kCameraStopImage = u"OmbrelTideLinkForVectorworks/Images/label_camera_stop.png";

enum LabelItem : int32_t { kAboutItem = 0, kCameraItem = 1 };

}  // namespace

PaneLabelUI::~PaneLabelUI() { Detach(); }

void PaneLabelUI::Attach(int32_t pane) {
  Detach();
  if (pane == kNotAttached) return;
  if (auto labels = HostBinding::Query<IViewPaneLabelService>(IID_ViewPaneLabelService)) {
    labels->AddLabel(pane, TXString(kOwnerName), TXString(), this);
  }
  pane_ = pane;
}

void PaneLabelUI::Detach() {
  if (pane_ == kNotAttached) return;
  if (auto labels = HostBinding::Query<IViewPaneLabelService>(IID_ViewPaneLabelService)) {
    labels->RemoveLabel(pane_, TXString(kOwnerName));
  }
  pane_ = kNotAttached;
}

void PaneLabelUI::Update() {
  if (controller_.GetState() != LinkState::kIdle) {
    Attach(pane_);
  } else {
    Detach();
  }
}

void PaneLabelUI::OnLabelEvent(int32_t operation, ViewPaneLabelAPI::Args& args) {
  switch (operation) {
    case ViewPaneLabelAPI::kBuildItems:
      if (args.items) BuildItems(*args.items);
      break;
    case ViewPaneLabelAPI::kItemClicked:
      ItemClicked(args.itemIndex);
      break;
    default:
      break;
  }
}

void PaneLabelUI::BuildItems(ViewPaneLabelAPI::ItemList& items) const {
  items.Append(TXString(kAboutImage), TXString());
  const bool available = controller_.IsCameraAvailable();
  const bool syncOn = available && controller_.GetCameraSync();
  const std::u16string_view key = !available ? u"tool_camera_idle" : syncOn ? u"tool_camera_stop" : u"tool_camera_start";
  const TXString text = showTexts_ ? GetResourceString(u"TideLinkTool", key) : TXString();
  items.Append(TXString(syncOn ? kCameraStopImage : kCameraStartImage), text);
}

void PaneLabelUI::ItemClicked(int32_t item) {
  switch (item) {
    case kAboutItem:
      showTexts_ = !showTexts_;
      Update();
      break;
    case kCameraItem:
      controller_.ToggleCamera();
      break;
    default:
      break;
  }
}

#include "module/OmbrelExtTool_EventSink.h"

#include <vector>

#include "link/OmbrelPlugin.h"
#include "link/SettingsDialogAccess.h"
#include "sdk/HostBinding.h"
#include "sdk/PluginIdentity.h"
#include "sdk/ResourceStrings.h"
#include "ui/DialogUI.h"
#include "ui/TextFormat.h"

namespace VGS_Ombrel {
namespace {

constexpr std::u16string_view kToolName = u"OmbrelTideLinkTool";

enum Button : int32_t { kAboutButton = 0, kLinkButton = 1, kCameraButton = 2, kSettingsButton = 3, kSaveButton = 4 };

struct ButtonChoice {
  std::u16string_view image;
  std::u16string_view tipKey;
  std::u16string_view helpKey;
};

TXString ToolText(std::u16string_view key) { return GetResourceString(u"TideLinkTool", key); }

// Adds one button with one image and one help entry per choice.
class ModeBar {
public:
  explicit ModeBar(ServiceRef<IToolService>& tools) : tools_(tools) {}

  void Add(std::initializer_list<ButtonChoice> choices) {
    std::vector<TXString> images;
    for (const ButtonChoice& choice : choices) {
      images.emplace_back(ImagePath(choice.image));
      help_.push_back({ToolText(choice.tipKey), ToolText(choice.helpKey), 1});
    }
    tools_->AddButton({images.data(), images.size()});
  }
  void AddAbout() {
    tools_->AddButton({&aboutImage_, 1});
    help_.push_back({ToolText(u"tool_about"), TXString(ui::FormatText(ToolText(u"tool_about_help"), kPluginVersion)), 1});
  }
  void HandOverHelp() { tools_->SetButtonHelp({help_.data(), help_.size()}); }

private:
  ServiceRef<IToolService>& tools_;
  const TXString aboutImage_{ImagePath(u"about.png")};
  std::vector<SModeBarButtonHelp> help_;
};

constexpr ButtonChoice kStartChoice{u"start.png", u"tool_start", u"tool_start_help"};
constexpr ButtonChoice kResumeChoice{u"resume.png", u"tool_resume", u"tool_resume_help"};
constexpr ButtonChoice kStopChoice{u"stop.png", u"tool_stop", u"tool_stop_help"};

ButtonChoice CameraChoice(const OmbrelPlugin& controller) {
  if (controller.IsCameraAvailable()) {
    if (controller.GetCameraSync()) return {u"camera_stop.png", u"tool_camera_stop", u"tool_camera_stop_help"};
    return {u"camera_start.png", u"tool_camera_start", u"tool_camera_start_help"};
  }
  if (controller.GetState() == LinkState::kRunning) {
    return {u"camera_start.png", u"tool_camera_resume", u"tool_camera_resume_help"};
  }
  return {u"camera_start.png", u"tool_camera_idle", u"tool_camera_idle_help"};
}

void BuildFullModeBar(ModeBar& bar, ServiceRef<IToolService>& tools) {
  OmbrelPlugin& controller = OmbrelPlugin::Instance();
  const LinkState state = controller.GetState();
  const bool active = controller.IsActive();
  switch (state) {
    case LinkState::kIdle: bar.Add({kStartChoice}); break;
    case LinkState::kPaused: bar.Add({kResumeChoice, kStopChoice}); break;
    case LinkState::kRunning: bar.Add({kStopChoice}); break;
  }
  bar.Add({CameraChoice(controller)});
  bar.Add({{u"settings.png", u"tool_settings", u"tool_settings_help"}});
  bar.Add({{u"save.png", u"tool_save", u"tool_save_help"}});
  bar.HandOverHelp();
  tools->EnableButton(kCameraButton, state == LinkState::kRunning);
  tools->EnableButton(kSaveButton, !active);
  tools->EnableButton(kSettingsButton, !active);
}

void PressLinkButton(OmbrelPlugin& controller, int32_t choice) {
  switch (controller.GetState()) {
    case LinkState::kIdle:
      controller.Start();
      break;
    case LinkState::kPaused:
      if (choice == 0) {
        controller.Resume();
      } else {
        controller.Stop(false);
      }
      break;
    case LinkState::kRunning:
      controller.Stop(false);
      break;
  }
}

void PressFullButton(int32_t index, int32_t choice) {
  OmbrelPlugin& controller = OmbrelPlugin::Instance();
  switch (index) {
    case kLinkButton:
      PressLinkButton(controller, choice);
      break;
    case kCameraButton:
      controller.ToggleCamera();
      break;
    case kSettingsButton:
      if (!controller.IsActive()) {
        // Ends a link that belongs to another drawing, so settings never change under a link.
        controller.Stop(true);
        SettingsDialogAccess settings;
        DialogUI::Instance().ShowSettings(settings);
      }
      break;
    case kSaveButton:
      controller.SaveAsCollada();
      break;
    default:
      break;
  }
}

}  // namespace

void OmbrelExtTool_EventSink::SetupModeBar() {
  auto tools = HostBinding::Query<IToolService>(IID_ToolService);
  if (!tools) return;
  ModeBar bar(tools);
  bar.AddAbout();
  if (!HostBinding::IsFullyEnabled()) {
    bar.Add({{u"version.png", u"tool_version_tip", u"tool_version_help"}});
    bar.HandOverHelp();
    return;
  }
  BuildFullModeBar(bar, tools);
}

void OmbrelExtTool_EventSink::HandleModeBarButton(int32_t index, int32_t choice) {
  if (index == kAboutButton) {
    DialogUI::Instance().ShowAbout();
    return;
  }
  if (HostBinding::IsFullyEnabled()) {
    PressFullButton(index, choice);
  } else if (index == kLinkButton) {
    DialogUI::Instance().ShowTitledMessage(ui::UserMessage::VersionWarning);
  }
}

int32_t OmbrelExtTool_EventSink::OnToolMessage(int32_t message) {
  if (message != kRefreshToolMessage) return VWTool_EventSink::OnToolMessage(message);
  if (auto tools = HostBinding::Query<IToolService>(IID_ToolService)) tools->RefreshTool(TXString(kToolName));
  return kToolMessageHandled;
}

}  // namespace VGS_Ombrel

#pragma once

#include <cstdint>

#include "sdk/HostServices.h"

class OmbrelPlugin;

// The link's small label in the view pane where it was started: the about icon, which shows or
// hides the camera text, and the camera icon, which switches camera synchronisation. Attached
// while the link is not Idle; the host builds its items and reports clicks through the handler.
class PaneLabelUI final : private IViewPaneLabelHandler {
public:
  static constexpr int32_t kNotAttached = -1;
  static constexpr std::u16string_view kOwnerName = u"OmbrelTideLink";

  // `controller` outlives the label; it gives the camera flags and takes the clicks.
  explicit PaneLabelUI(OmbrelPlugin& controller) : controller_(controller) {}
  ~PaneLabelUI();
  PaneLabelUI(const PaneLabelUI&) = delete;
  PaneLabelUI& operator=(const PaneLabelUI&) = delete;

  // Detaches first; kNotAttached only detaches. Without the host's label service the pane is
  // remembered all the same, so that a later update tries again.
  void Attach(int32_t pane);
  void Detach();
  // Rebuilds the label in its pane while the link is not Idle, otherwise removes it (and forgets
  // the pane, so a label removed while the linked drawing is not active stays removed).
  void Update();

  int32_t pane() const { return pane_; }
  bool showTexts() const { return showTexts_; }

private:
  void OnLabelEvent(int32_t operation, ViewPaneLabelAPI::Args& args) override;
  void BuildItems(ViewPaneLabelAPI::ItemList& items) const;
  void ItemClicked(int32_t item);

  OmbrelPlugin& controller_;
  int32_t pane_ = kNotAttached;
  bool showTexts_ = true;
};

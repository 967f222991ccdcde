#include "link/OmbrelPlugin.h"

#include <mutex>

namespace {

struct SharedInstance {
  std::mutex mutex;
  std::unique_ptr<OmbrelPlugin> plugin;
};

SharedInstance& shared() {
  static SharedInstance state;
  return state;
}

}  // namespace

OmbrelPlugin& OmbrelPlugin::Instance() {
  auto& state = shared();
  std::lock_guard lock(state.mutex);
  if (!state.plugin) state.plugin = std::make_unique<OmbrelPlugin>();
  return *state.plugin;
}

void OmbrelPlugin::DestroyInstance() {
  std::unique_ptr<OmbrelPlugin> plugin;
  {
    auto& state = shared();
    std::lock_guard lock(state.mutex);
    plugin = std::move(state.plugin);
  }
}

OmbrelPlugin::OmbrelPlugin() : exporter_(std::make_unique<ColladaExporter>()) {}

OmbrelPlugin::~OmbrelPlugin() = default;

void OmbrelPlugin::SaveAsCollada() { exporter_->Start(); }

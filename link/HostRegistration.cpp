#include "link/HostRegistration.h"

#include "sdk/HostBinding.h"

void RegisterNotifications(std::span<const uint32_t> codes, NotificationCallback callback) {
  if (auto notifications = HostBinding::Query<INotificationService>(IID_NotificationService)) {
    for (const uint32_t code : codes) notifications->Register(code, callback, nullptr);
  }
}

void UnregisterNotifications(std::span<const uint32_t> codes, NotificationCallback callback) {
  if (auto notifications = HostBinding::Query<INotificationService>(IID_NotificationService)) {
    for (const uint32_t code : codes) notifications->Unregister(code, callback, nullptr);
  }
}

void RegisterSceneHandler(std::u16string_view name, ISceneOperationHandler* handler) {
  if (auto sceneChanges = HostBinding::Query<ISceneChangeService>(IID_SceneChangeService)) {
    const TXString handlerName(name);
    if (sceneChanges->IsHandlerRegistered(handlerName)) sceneChanges->UnregisterHandler(handlerName);
    sceneChanges->RegisterHandler(handlerName, handler, 0);
  }
}

void UnregisterSceneHandler(std::u16string_view name) {
  if (auto sceneChanges = HostBinding::Query<ISceneChangeService>(IID_SceneChangeService)) {
    const TXString handlerName(name);
    if (sceneChanges->IsHandlerRegistered(handlerName)) sceneChanges->UnregisterHandler(handlerName);
  }
}

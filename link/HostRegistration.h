#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "sdk/HostServices.h"

// How the link and the export put themselves on the host's two channels and take themselves off
// again. Each call obtains the service and releases it; without the service it does nothing.

void RegisterNotifications(std::span<const uint32_t> codes, NotificationCallback callback);
void UnregisterNotifications(std::span<const uint32_t> codes, NotificationCallback callback);

// Registers `handler` under `name`, replacing a handler a crashed run may have left under it.
// The host may begin streaming at once.
void RegisterSceneHandler(std::u16string_view name, ISceneOperationHandler* handler);
// Unregisters the handler of `name` if there is one; the host waits for an operation in progress.
void UnregisterSceneHandler(std::u16string_view name);

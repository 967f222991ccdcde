#pragma once

#include <string_view>

#include "sdk/HostServices.h"

// Shows the text of `key` in table "TideLinkTool" (the empty text for an empty key) through the
// host's status-message service; nothing without the service.
void SetStatus(std::u16string_view key, StatusLevel level);

#include "link/LinkStatus.h"

#include "sdk/HostBinding.h"
#include "sdk/ResourceStrings.h"

void SetStatus(std::u16string_view key, StatusLevel level) {
  auto status = HostBinding::Query<IStatusMessageService>(IID_StatusMessageService);
  if (!status) return;
  const TXString text = key.empty() ? TXString() : GetResourceString(u"TideLinkTool", key);
  status->ShowMessage(text, level);
}

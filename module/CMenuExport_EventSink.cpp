#include "module/CMenuExport_EventSink.h"

#include "link/OmbrelPlugin.h"

namespace VGS_Ombrel {

void CMenuExport_EventSink::DoInterface() { OmbrelPlugin::Instance().SaveAsCollada(); }

}  // namespace VGS_Ombrel

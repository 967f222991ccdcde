#pragma once

#include <cstdint>

#include "sdk/Sequence.h"
#include "sdk/VWExtension.h"

namespace VGS_Ombrel {

// The script functions in index order.
Sequence<VSFunctionDefinition> ScriptFunctionTable();

// Runs a script function by its index and hands its boolean result to the host. The four link
// functions need the link controller and set no result until it exists.
class OmbrelExtVSRoutines : public VWPluginLibraryRoutine {
public:
  void Run(int32_t functionIndex, void* callRecord) override;
};

}  // namespace VGS_Ombrel

#pragma once

// The task pool's worker threads run code of a library the module loaded. They must be gone
// before the host unloads the module, or they run on in unmapped code.
void EndWorkerThreads();

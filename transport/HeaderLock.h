#pragma once

#include <cstdint>

#include "transport/WireFormat.h"

// The cross-process lock in a link document's header, as both sides of the link take it: the
// holder's process id in `lockOwner`, set by compare-and-swap from 0 and cleared by its holder.
// The one implementation for the plug-in and any reader of the same memory, so that they never
// disagree on what holds the lock.
namespace wire {

// Takes the lock for `processId`, waiting up to `timeoutMicroseconds` and yielding between tries;
// true when it is held by `processId`. Re-entrant per process and not counted. A holder whose
// process has ended cannot release, so its lock is taken over.
bool LockHeader(HeaderRecord& header, uint32_t processId, uint32_t timeoutMicroseconds);

// Frees the lock when `processId` holds it; another holder's lock is left as it is.
void UnlockHeader(HeaderRecord& header, uint32_t processId);

}  // namespace wire

// Helpers shared by the files of CommonObjectEventManager; not part of its interface.
#pragma once

#include "COEvent.h"
#include "Platform.h"

namespace eventmanager {

using Guard = platform::ScopedLock<platform::RecursiveLock>;

// The block a post copied for a record, or null when the record carries a plain value.
inline void* PostedBlock(const COEvent& event) { return event.dataSize > 0 ? event.data : nullptr; }

}  // namespace eventmanager

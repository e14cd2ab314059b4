#pragma once
// The stream command: packs or unpacks one of the component's streams into
// another (ZLStreamRec in ziplib.h describes the record).
#include <atomic>
#include <cstdint>

#include "ziplib/ziplib.h"

namespace ziplib {

int32_t runStreamCommand(ZLCommand* cmd, std::atomic<bool>& abortFlag, uint32_t abortHandle);

}  // namespace ziplib

#pragma once
// The extract command: reads the request through the callbacks, checks the
// archive, and writes each selected entry under the destination folder.
#include <atomic>
#include <cstdint>

#include "ziplib/ziplib.h"

namespace ziplib {

// Runs one command; the result is what ZL_Exec returns.
int32_t runCommand(ZLCommand* cmd, std::atomic<bool>& abortFlag, uint32_t abortHandle);

}  // namespace ziplib

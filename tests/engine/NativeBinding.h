// Binds the engine's native entry points for a test: ntdll's are the system's own, and the
// chkdsk library, which Wine lacks, is answered by a stand-in module.
#pragma once

#include "platform/sys.h"

namespace nativetest {

// A table that forwards to the system and answers "fmifs.dll" with a module whose two
// entry points exist (and must never be called).
sys::SYS_TABLE TableWithFmifs();

// True when every entry point is bound.
bool BindWithFmifs();

} // namespace nativetest
